// Files written whole or not at all: what is under the final name after a
// write that succeeds, fails part way, or meets something that is no file.
#include "core/whole_file.h"

#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;

// Writes `text` to `path`, then fails with `error` when it is not 0: a
// write cut short, as by a full disk.
bool WriteThenFail(const fs::path& path, const std::string& text, int error)
{
    std::ofstream(path) << text;
    errno = error;
    return error == 0;
}

TEST(WriteFileWhole, TheFinalNameHoldsTheNewFileOrTheOldOne)
{
    testsupport::ScratchDir dir("whole");
    const fs::path file = dir / "out.txt";
    const struct {
        const char* name;
        int error;  // 0: the write succeeds
        const char* before;  // null: no file before
        std::string expected_reason, after;  // after: null content means no file
    } cases[] = {
        {"new file", 0, nullptr, "", "new"},
        {"replaced", 0, "old", "", "new"},
        {"full disk, none before", ENOSPC, nullptr, "cannot write " + file.string() + ": No space left on device", ""},
        {"full disk, old kept", EFBIG, "old", "cannot write " + file.string() + ": File too large", "old"},
        {"no cause", 0 - 1, "old", "cannot write " + file.string() + ": write failed", "old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file);
        if (c.before)
            std::ofstream(file) << c.before;
        const int error = c.error < 0 ? 0 : c.error;
        const bool fails = c.error != 0;
        fs::path written_to;
        const Status status = WriteFileWhole(file, [&](const fs::path& temporary) {
            written_to = temporary;
            return WriteThenFail(temporary, "new", error) && !fails;
        });
        EXPECT_EQ(status.ok, !fails);
        EXPECT_EQ(status.reason, c.expected_reason);
        EXPECT_EQ(written_to, TemporaryNameFor(file));
        EXPECT_EQ(written_to.parent_path(), file.parent_path());
        EXPECT_FALSE(fs::exists(written_to));
        EXPECT_EQ(fs::exists(file), !c.after.empty());
        if (!c.after.empty()) {
            EXPECT_EQ(testsupport::ReadFileText(file), c.after);
        }
    }
}

// A FIFO, a directory or a symbolic link at the final name is not replaced,
// and nothing is written; a FIFO at the temporary name is not removed.
TEST(WriteFileWhole, OnlyARegularFileIsReplaced)
{
    testsupport::ScratchDir dir("whole");
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "directory");
    std::ofstream(dir / "target") << "kept";
    fs::create_symlink(dir / "target", dir / "link");
    for (const char* name : {"fifo", "directory", "link"}) {
        SCOPED_TRACE(name);
        bool called = false;
        const Status status = WriteFileWhole(dir / name, [&](const fs::path&) { return called = true; });
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.reason, "cannot write " + (dir / name).string() + ": not a regular file");
        EXPECT_FALSE(called);
    }
    EXPECT_EQ(testsupport::ReadFileText(dir / "target"), "kept");
    EXPECT_EQ(fs::symlink_status(dir / "fifo").type(), fs::file_type::fifo);

    ASSERT_EQ(mkfifo(TemporaryNameFor(dir / "new").c_str(), 0600), 0);
    const Status status = WriteFileWhole(dir / "new", [](const fs::path&) {
        errno = EINVAL;  // what a writer that refuses the FIFO says
        return false;
    });
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(fs::symlink_status(TemporaryNameFor(dir / "new")).type(), fs::file_type::fifo);
    EXPECT_FALSE(fs::exists(dir / "new"));
}

}  // namespace
