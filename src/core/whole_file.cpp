#include "core/whole_file.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

Status CannotWrite(const fs::path& path, const std::string& cause)
{
    return Status::Failure("cannot write " + path.string() + ": " + cause);
}

bool IsOtherThanRegular(const fs::path& path)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    return fs::exists(status) && !fs::is_regular_file(status);
}

// Only a file the write made is removed: a FIFO or device that already
// stood at the temporary name is not ours to delete.
void RemoveTemporary(const fs::path& temporary)
{
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(temporary, ec)))
        fs::remove(temporary, ec);
}

}  // namespace

fs::path TemporaryNameFor(const fs::path& path)
{
    return fs::path(path.string() + ".part");
}

Status WriteFileWhole(const fs::path& path, const std::function<bool(const fs::path& temporary)>& write)
{
    if (IsOtherThanRegular(path))
        return CannotWrite(path, "not a regular file");
    const fs::path temporary = TemporaryNameFor(path);
    errno = 0;
    if (!write(temporary)) {
        const int error = errno;
        RemoveTemporary(temporary);
        return CannotWrite(path, error ? std::strerror(error) : "write failed");
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        RemoveTemporary(temporary);
        return CannotWrite(path, ec.message());
    }
    return Status::Ok();
}
