// Opening files that must be regular files. A FIFO in a file's place would
// block the program at its open or read for good, and a device could be
// read for ever or overwritten; so anything but a regular file is refused
// at once, without waiting on it.
#pragma once

#include <cstdio>
#include <filesystem>

// Opens `path` for reading ("rb"). Null when it cannot be opened (errno
// says why) or is not a regular file (errno EINVAL, *not_regular true).
std::FILE* OpenRegularFileForReading(const std::filesystem::path& path, bool* not_regular = nullptr);

// Creates `path`, or empties it when it is a regular file, for writing
// ("wb"). Null when it cannot be opened (errno says why) or something other
// than a regular file stands there (errno EINVAL, *not_regular true).
std::FILE* OpenRegularFileForWriting(const std::filesystem::path& path, bool* not_regular = nullptr);
