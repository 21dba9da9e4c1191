#include "support/rgba_image.h"

#include "image/png_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>

namespace testsupport {

namespace fs = std::filesystem;

size_t RgbaImage::DistinctColours(size_t limit) const
{
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 3 < rgba.size() && colours.size() < limit; i += 4)
        colours.insert(uint32_t(rgba[i]) << 16 | uint32_t(rgba[i + 1]) << 8 | rgba[i + 2]);
    return colours.size();
}

RgbaImage FromBottomUp(int width, int height, std::span<const uint8_t> rgba)
{
    RgbaImage image{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 4)};
    const size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        std::copy_n(rgba.begin() + std::ptrdiff_t(size_t(height - 1 - y) * row), row,
                    image.rgba.begin() + std::ptrdiff_t(size_t(y) * row));
    return image;
}

RgbaImage FromBitmap(const TBitmap& bitmap)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(bitmap.pixels);
    return {bitmap.width, bitmap.height,
            std::vector<uint8_t>(bytes, bytes + size_t(bitmap.width) * size_t(bitmap.height) * 4)};
}

std::optional<RgbaImage> ReadImagePNG(const fs::path& path)
{
    BitmapPtr bitmap = ReadPNG(path.c_str());
    if (!bitmap)
        return std::nullopt;
    return FromBitmap(*bitmap);
}

bool WriteImagePNG(const RgbaImage& image, const fs::path& path)
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

void SaveForViewing(const RgbaImage& image, const std::string& name)
{
    const char* dir = std::getenv("NERELLE_TEST_FRAMES");
    if (dir && *dir && fs::is_directory(dir))
        WriteImagePNG(image, fs::path(dir) / (name + ".png"));
}

double Psnr(const RgbaImage& a, const RgbaImage& b)
{
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size())
        return std::numeric_limits<double>::quiet_NaN();
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (size_t c = i; c < i + 3; ++c) {
            const double d = double(a.rgba[c]) - double(b.rgba[c]);
            sum += d * d;
        }
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * double(a.rgba.size() / 4 * 3) / sum);
}

size_t CountDifferentPixels(const RgbaImage& a, const RgbaImage& b, int tolerance)
{
    size_t count = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (size_t c = i; c < i + 3; ++c)
            if (std::abs(int(a.rgba[c]) - int(b.rgba[c])) > tolerance) {
                ++count;
                break;
            }
    return count;
}

}  // namespace testsupport
