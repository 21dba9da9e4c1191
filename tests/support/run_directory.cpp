#include "support/run_directory.h"

#include "image/bitmap.h"
#include "image/png_file.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <set>

#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

namespace {

bool Fail(std::string* why, const std::string& what)
{
    if (why)
        *why = what;
    return false;
}

struct RunDirectory {
    fs::path previous, path;
    RunDirectory()
    {
        std::error_code ec;
        previous = fs::current_path(ec);
        std::string pattern = (fs::temp_directory_path() / "nerelle-app-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        if (!MakeRunDirectory(pattern)) {
            fs::remove_all(pattern, ec);
            return;
        }
        fs::current_path(pattern, ec);
        if (!ec)
            path = pattern;
    }
    ~RunDirectory()
    {
        std::error_code ignored;
        if (path.empty())
            return;
        fs::current_path(previous, ignored);
        fs::remove_all(path, ignored);
    }
};

}  // namespace

bool MakeRunDirectory(const fs::path& dir, std::string* why)
{
    const fs::path source = NERELLE_SOURCE_DIR "/data";
    const fs::path built_fonts = NERELLE_BINARY_DIR "/run/data/fonts";
    std::error_code ec;
    fs::create_directories(dir / "data" / "fonts", ec);
    if (ec)
        return Fail(why, "cannot make " + dir.string() + ": " + ec.message());
    for (const fs::directory_entry& entry : fs::directory_iterator(source / "textures", ec)) {
        fs::copy_file(entry.path(), dir / entry.path().filename(), fs::copy_options::overwrite_existing, ec);
        if (ec)
            return Fail(why, "cannot copy " + entry.path().string() + ": " + ec.message());
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(source, ec)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_directory() || name == "textures" || name == "fonts")
            continue;
        fs::create_directory_symlink(entry.path(), dir / "data" / name, ec);
        if (ec)
            return Fail(why, "cannot link " + entry.path().string() + ": " + ec.message());
    }
    if (fs::is_directory(built_fonts)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(built_fonts, ec))
            fs::copy_file(entry.path(), dir / "data" / "fonts" / entry.path().filename(),
                          fs::copy_options::overwrite_existing, ec);
    }
    return true;
}

fs::path EnterRunDirectory()
{
    static RunDirectory directory;
    return directory.path;
}

size_t Image::DistinctColours(size_t limit) const
{
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < rgb.size() && colours.size() < limit; i += 3)
        colours.insert(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
    return colours.size();
}

Image FromBottomUpRGBA(int width, int height, const std::vector<uint8_t>& rgba)
{
    Image image;
    image.width = width;
    image.height = height;
    image.rgb.resize(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                image.rgb[3 * (size_t(y) * size_t(width) + size_t(x)) + size_t(c)] =
                    rgba[4 * (size_t(height - 1 - y) * size_t(width) + size_t(x)) + size_t(c)];
    return image;
}

Image ImageOfBitmap(const TBitmap& bitmap)
{
    Image image{bitmap.width, bitmap.height, {}};
    image.rgb.reserve(size_t(image.width) * size_t(image.height) * 3);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = reinterpret_cast<const uint8_t*>(bitmap.Row(y));
        for (int x = 0; x < image.width; ++x)
            image.rgb.insert(image.rgb.end(), row + 4 * x, row + 4 * x + 3);
    }
    return image;
}

bool WriteImagePNG(const Image& image, const fs::path& path)
{
    BitmapPtr bitmap(TBitmap::Create(image.width, image.height, false, false, 8));
    if (!bitmap)
        return false;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            bitmap->Row(y)[x] = PackRGBA(p[0], p[1], p[2], 255);
        }
    std::error_code ec;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), ec);
    return WritePNG(path.c_str(), bitmap.get(), true);
}

std::optional<Image> ReadImagePNG(const fs::path& path)
{
    BitmapPtr bitmap = ReadPNG(path.c_str());
    if (!bitmap)
        return std::nullopt;
    return ImageOfBitmap(*bitmap);
}

double Psnr(const Image& a, const Image& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = double(a.rgb[i]) - double(b.rgb[i]);
        sum += d * d;
    }
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * double(a.rgb.size()) / sum);
}

void SaveForViewing(const Image& image, const std::string& name)
{
    const char* dir = std::getenv("NERELLE_TEST_FRAMES");
    if (dir && *dir && fs::is_directory(dir))
        WriteImagePNG(image, fs::path(dir) / (name + ".png"));
}

}  // namespace testsupport
