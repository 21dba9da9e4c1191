// Writing a file whole or not at all. The content goes to a temporary name
// in the same directory and takes the final name by rename only when it is
// complete, so a full disk, a file-size limit or a kill in the middle never
// leaves a truncated file under the final name; a failure removes the
// temporary file.
#pragma once

#include "core/status.h"

#include <filesystem>
#include <functional>

// The temporary name `path` is written under: the same name with ".part"
// added, in the same directory, so the rename cannot cross file systems.
std::filesystem::path TemporaryNameFor(const std::filesystem::path& path);

// Calls `write` with the temporary name and, when it returns true, renames
// that file to `path`. `write` opens the name itself (as a regular file,
// never waiting on a FIFO) and leaves errno saying why when it fails.
// Something other than a regular file standing at `path` is refused before
// anything is written. A failure reads "cannot write PATH: CAUSE".
Status WriteFileWhole(const std::filesystem::path& path,
                      const std::function<bool(const std::filesystem::path& temporary)>& write);
