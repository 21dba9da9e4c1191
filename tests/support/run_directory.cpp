#include "support/run_directory.h"

#include <cstdlib>

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

}  // namespace testsupport
