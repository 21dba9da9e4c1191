// A fresh, empty directory of one test's own under the temporary directory,
// removed with the object. Tests that write files make one, so no test sees
// another's files and nothing reaches the source or build tree.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class ScratchDir {
public:
    // "nerelle-<prefix>-XXXXXX" under the temporary directory; the test fails
    // at once when it cannot be made.
    explicit ScratchDir(const std::string& prefix = "test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }
    // The path of `name` in it, as text for the C-style interfaces.
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

}  // namespace testsupport
