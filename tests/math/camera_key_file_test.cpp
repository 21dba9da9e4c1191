#include "math/camera_key_file.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

using testsupport::ScratchDir;

// At most 1 MiB, so a save that wrongly put a device in the file's place
// fails the test instead of hanging it.
std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text(1 << 20, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    return text;
}

void WriteAll(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

CameraKey Key(float time, Vector3 position, Quat orientation, float tension = 0, float continuity = 0, float bias = 0)
{
    CameraKey k;
    k.time = time;
    k.position = position;
    k.orientation = orientation;
    k.tension = tension;
    k.continuity = continuity;
    k.bias = bias;
    return k;
}

// Keys whose every value is 0 or of magnitude 0.000001 or more, which the
// file keeps exactly.
std::vector<CameraKey> RandomKeys(std::mt19937& random, size_t count)
{
    std::uniform_real_distribution<float> unit(-1, 1), exponent(-6, 7), gap(0.001f, 5);
    auto value = [&] {
        const float v = unit(random);
        return v == 0 ? 0.0f : std::copysign(std::pow(10.0f, exponent(random)) * std::fabs(v) + 1e-6f, v);
    };
    std::vector<CameraKey> keys;
    float time = 0;
    for (size_t i = 0; i < count; ++i) {
        keys.push_back(Key(time, {value(), value(), value()}, {unit(random), unit(random), unit(random), unit(random)},
                           value(), value(), value()));
        time += gap(random);
    }
    return keys;
}

const std::string kKeyA = "0 0 0 0 1 2 3 0 0 0 1";
const std::string kKeyB = "1 0 0 0 1 2 3 0 0 0 1";

TEST(CameraKeyFile, FormatIsExact)
{
    EXPECT_EQ(FormatKeyFile({}), "0\n");
    EXPECT_EQ(FormatKeyFile({Key(2.0f, {3, 2, -5}, {0, 0.5f, 0, 1}, 0.25f, -0.5f, 1)}),
              "1\n2.000000000000000 0.250000000000000 -0.500000000000000 1.000000000000000 "
              "3.000000000000000 2.000000000000000 -5.000000000000000 "
              "0.000000000000000 0.500000000000000 0.000000000000000 1.000000000000000\n");
}

TEST(CameraKeyFile, RoundTripKeepsEveryValue)
{
    std::mt19937 random(42);
    ScratchDir dir;
    const fs::path path = dir.Path() / "animation.txt";
    WriteAll(path, "1\n" + kKeyA + "\n");  // an older file is replaced
    for (size_t count : {size_t(0), size_t(1), size_t(3), size_t(200)}) {
        const std::vector<CameraKey> keys = RandomKeys(random, count);
        const CameraKeyStatus saved = SaveKeyFile(path, keys);
        ASSERT_TRUE(saved) << saved.reason;
        EXPECT_EQ(saved.count, count);
        std::vector<CameraKey> loaded;
        const CameraKeyStatus status = LoadKeyFile(path, loaded);
        ASSERT_TRUE(status) << status.reason;
        EXPECT_EQ(status.count, count);
        ASSERT_EQ(loaded.size(), keys.size());
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(loaded[i], keys[i]) << "key " << i << " of " << count;
        EXPECT_EQ(ReadAll(path), FormatKeyFile(keys));
        EXPECT_FALSE(fs::exists(dir.Path() / "animation.txt.tmp"));
    }
}

TEST(CameraKeyFile, SmallMagnitudesLoseDigits)
{
    struct Case {
        float value;
        bool exact;  // written with enough decimals to come back unchanged
        bool zero;   // written as zero
    } const cases[] = {
        {0.000001f, true, false},      {-0.000001f, true, false}, {123456.7f, true, false}, {3.4e38f, true, false},
        {1.2345678e-9f, false, false}, {4e-16f, false, true},     {-1e-20f, false, true},
    };
    for (const Case& c : cases) {
        std::vector<CameraKey> keys = {Key(0, {c.value, 0, 0}, {0, 0, 0, 1})};
        std::vector<CameraKey> back;
        ASSERT_TRUE(ParseKeyFile(FormatKeyFile(keys), back));
        const float read = back.at(0).position.x;
        EXPECT_EQ(read == c.value, c.exact) << c.value;
        EXPECT_EQ(read == 0, c.zero) << c.value;
    }
}

TEST(CameraKeyFile, ReadsWhatTheFormatAllows)
{
    struct Case {
        std::string text;
        std::vector<float> times;
    } const cases[] = {
        {"0\n", {}},
        {"0", {}},
        {"  2 \r\n" + kKeyA + "\r\n" + kKeyB + "\r\n", {0, 1}},  // text written on another system
        {"2\n" + kKeyA + "\n" + kKeyB, {0, 1}},                  // last line without newline
        {"2\n" + kKeyA + "\n" + kKeyB + "\n\n  \n", {0, 1}},     // trailing blank lines
        {"2\n\t0   0 0 0 1 2 3 0 0 0 1\n+1.5e0 0 0 0 1 2 3 0 0 0 -1E-3\n", {0, 1.5f}},
        {"2\n" + kKeyA + "\n\n\n" + kKeyB + "\n", {0, 1}},  // blank lines between keys
    };
    for (const Case& c : cases) {
        std::vector<CameraKey> keys(5);
        const CameraKeyStatus status = ParseKeyFile(c.text, keys);
        ASSERT_TRUE(status) << c.text << ": " << status.reason;
        EXPECT_EQ(status.count, c.times.size());
        EXPECT_EQ(status.warning, "") << c.text;
        ASSERT_EQ(keys.size(), c.times.size()) << c.text;
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(keys[i].time, c.times[i]) << c.text;
    }
}

// White space between numbers includes line ends, as for scanf: a key's
// numbers may be spread over lines, or several keys share one.
TEST(CameraKeyFile, NumbersOfAKeyMaySpanLines)
{
    const std::vector<CameraKey> expected = {Key(0, {1, 2, 3}, {0, 0.5f, 0, 1}, 0.25f, -0.5f, 1),
                                             Key(1.5f, {4, 5, 6}, {0, 0, 0, 1})};
    const std::string texts[] = {
        "2\n0 0.25 -0.5 1\n1 2 3\n0 0.5 0 1\n1.5 0 0 0 4 5 6 0 0 0 1\n",
        "2\n0\n0.25\n-0.5\n1\n1\n2\n3\n0\n0.5\n0\n1\n\n1.5 0 0 0 4 5 6 0 0 0\n1",
        "2\r\n0 0.25 -0.5 1 1 2 3 0 0.5 0 1 1.5 0 0 0 4 5 6 0 0 0 1\r\n",
    };
    for (const std::string& text : texts) {
        std::vector<CameraKey> keys;
        const CameraKeyStatus status = ParseKeyFile(text, keys);
        ASSERT_TRUE(status) << text << ": " << status.reason;
        EXPECT_EQ(status.warning, "") << text;
        EXPECT_EQ(keys, expected) << text;
    }
}

// What follows the announced keys is left alone, with a warning naming
// where it starts.
TEST(CameraKeyFile, TextAfterTheCountedKeysIsIgnored)
{
    struct Case {
        std::string text;
        size_t keys;
        std::string warning;
    } const cases[] = {
        {"1\n" + kKeyA + "\n" + kKeyB + "\n", 1, "line 3 onwards ignored: the file announces 1 key"},
        {"1\n" + kKeyA + " 5\n", 1, "line 2 onwards ignored: the file announces 1 key"},
        {"2\n" + kKeyA + "\n" + kKeyB + "\n\nnotes: x\0y\n"s, 2, "line 5 onwards ignored: the file announces 2 keys"},
        {"0\n\n" + kKeyA, 0, "line 3 onwards ignored: the file announces 0 keys"},
    };
    for (const Case& c : cases) {
        std::vector<CameraKey> keys;
        const CameraKeyStatus status = ParseKeyFile(c.text, keys);
        ASSERT_TRUE(status) << c.text << ": " << status.reason;
        EXPECT_EQ(status.count, c.keys);
        EXPECT_EQ(keys.size(), c.keys);
        EXPECT_EQ(status.warning, c.warning) << c.text;
    }
}

// A file that ends inside its last key still has that key's time; the
// numbers it lacks are zero.
TEST(CameraKeyFile, MissingTrailingNumbersAreZero)
{
    struct Case {
        std::string text;
        CameraKey last;
        std::string warning;
    } const cases[] = {
        {"1\n0.5 0.1 0.2 0.3 4 5\n", Key(0.5f, {4, 5, 0}, {0, 0, 0, 0}, 0.1f, 0.2f, 0.3f),
         "the file ends inside key 1: its last 5 numbers are taken as 0"},
        {"2\n" + kKeyA + "\n2\n", Key(2, {0, 0, 0}, {0, 0, 0, 0}),
         "the file ends inside key 2: its last 10 numbers are taken as 0"},
        {"1\n-7", Key(-7, {0, 0, 0}, {0, 0, 0, 0}), "the file ends inside key 1: its last 10 numbers are taken as 0"},
        {"1\n0 0 0 0 1 2 3 0.5 0 0", Key(0, {1, 2, 3}, {0.5f, 0, 0, 0}),
         "the file ends inside key 1: its last number is taken as 0"},
    };
    for (const Case& c : cases) {
        std::vector<CameraKey> keys;
        const CameraKeyStatus status = ParseKeyFile(c.text, keys);
        ASSERT_TRUE(status) << c.text << ": " << status.reason;
        ASSERT_FALSE(keys.empty());
        EXPECT_EQ(keys.back(), c.last) << c.text;
        EXPECT_EQ(status.warning, c.warning) << c.text;
    }
}

TEST(CameraKeyFile, RefusesHostileFiles)
{
    struct Case {
        std::string text;
        std::string reason;  // part of the reason given
    } const cases[] = {
        {"", "empty"},
        {"\n" + kKeyA, "key count"},
        {"abc\n", "not an unsigned number"},
        {"-1\n" + kKeyA, "not an unsigned number"},
        {"1.0\n" + kKeyA, "not an unsigned number"},
        {"1 2\n" + kKeyA, "key count alone"},
        {"65537\n", "larger than 65536"},
        {"4294967297\n", "larger than"},
        {"99999999999999999999999999\n", "larger than"},
        {"3\n" + kKeyA + "\n" + kKeyB + "\n", "ends after 2 of 3 keys"},
        {"65536\n" + kKeyA + "\n", "ends after 1 of 65536 keys"},
        {"1\n0 0 x 0 1 2 3 0 0 0 1\n", "line 2: number 3"},
        {"1\n0 0 0 0 nan 2 3 0 0 0 1\n", "number 5"},
        {"1\n0 0 0 0 1 2 3 0 0 0 inf\n", "number 11"},
        {"1\n0 0 0 0 1e39 2 3 0 0 0 1\n", "number 5"},
        {"1\n0 0 0 0 +-1 2 3 0 0 0 1\n", "number 5"},
        {"1\n0 0 0 0 0x10 2 3 0 0 0 1\n", "number 5"},
        {"1\n0,5 0 0 0 1 2 3 0 0 0 1\n", "number 1"},
        {"1\n0 0 0 0 1\0 2 3 0 0 0 1\n"s, "number 5"},
        {"2\n" + kKeyA + "\n\n \n", "ends after 1 of 2 keys"},
        {"1\n0 0 0 0 1 2 3\n0 x 0 1\n", "line 3: number 9 of key 1 is not a finite number"},
        {"2\n" + kKeyA + "\n" + kKeyA + "\n", "key 2 at time 0 s does not come after key 1"},
        {"3\n" + kKeyA + "\n" + kKeyB + "\n0.5\n", "key 3 at time 0.5 s does not come after key 2 at 1 s"},
    };
    const std::vector<CameraKey> before = {Key(0, {1, 1, 1}, {0, 0, 0, 1}), Key(1, {2, 2, 2}, {0, 0, 0, 1})};
    for (const Case& c : cases) {
        std::vector<CameraKey> keys = before;
        const CameraKeyStatus status = ParseKeyFile(c.text, keys);
        EXPECT_FALSE(status) << c.text;
        EXPECT_NE(status.reason.find(c.reason), std::string::npos) << c.text << ": " << status.reason;
        EXPECT_EQ(status.reason.find('\n'), std::string::npos);
        EXPECT_EQ(keys, before) << c.text;
    }
}

TEST(CameraKeyFile, LoadRefusalsKeepTheKeys)
{
    ScratchDir dir;
    const fs::path oversized = dir.Path() / "oversized.txt";
    WriteAll(oversized, "1\n");
    fs::resize_file(oversized, kMaxCameraKeyFileBytes + 1);
    WriteAll(dir.Path() / "bad.txt", "2\n" + kKeyA + "\n");
    fs::create_directory(dir.Path() / "directory.txt");
    // A FIFO would block the load at its open for good.
    ASSERT_EQ(mkfifo((dir.Path() / "fifo.txt").c_str(), 0600), 0);
    struct Case {
        fs::path path;
        std::string reason;
    } const cases[] = {
        {dir.Path() / "missing.txt", "cannot open"},
        {dir.Path() / "directory.txt", "directory.txt is not a regular file"},
        {dir.Path() / "fifo.txt", "fifo.txt is not a regular file"},
        {"/dev/zero", "/dev/zero is not a regular file"},
        {oversized, "larger than 64 MiB"},
        {dir.Path() / "bad.txt", "bad.txt: the file ends after 1 of 2 keys"},
    };
    const std::vector<CameraKey> before = {Key(0, {1, 1, 1}, {0, 0, 0, 1})};
    for (const Case& c : cases) {
        std::vector<CameraKey> keys = before;
        const CameraKeyStatus status = LoadKeyFile(c.path, keys);
        EXPECT_FALSE(status) << c.path;
        EXPECT_NE(status.reason.find(c.reason), std::string::npos) << status.reason;
        EXPECT_EQ(keys, before);
    }
}

TEST(CameraKeyFile, LoadWarningNamesTheFile)
{
    ScratchDir dir;
    const fs::path path = dir.Path() / "animation.txt";
    WriteAll(path, "1\n" + kKeyA + "\n" + kKeyB + "\n");
    std::vector<CameraKey> keys;
    const CameraKeyStatus status = LoadKeyFile(path, keys);
    ASSERT_TRUE(status) << status.reason;
    EXPECT_EQ(status.warning, path.string() + ": line 3 onwards ignored: the file announces 1 key");
    EXPECT_EQ(keys.size(), 1u);
}

TEST(CameraKeyFile, FailedSaveKeepsTheOldFile)
{
    const std::vector<CameraKey> keys = {Key(0, {1, 2, 3}, {0, 0, 0, 1}), Key(2, {4, 5, 6}, {0, 1, 0, 0})};
    const std::string old_text = "1\n" + kKeyA + "\n";
    // Each setup makes one step fail in a way that holds even for root.
    struct Case {
        const char* name;
        void (*setup)(const fs::path& dir);  // prepares dir/animation.txt
        const char* target;                  // relative to dir
        std::string reason;
    } const cases[] = {
        {"directory is a regular file", [](const fs::path& d) { WriteAll(d / "plain", "x"); }, "plain/animation.txt",
         "cannot create"},
        {"temporary name taken by a directory",
         [](const fs::path& d) { fs::create_directory(d / "animation.txt.tmp"); }, "animation.txt",
         "animation.txt.tmp is not a regular file"},
        // Written through, the link would fill a device (here one that is always full).
        {"temporary name a link to a device",
         [](const fs::path& d) { fs::create_symlink("/dev/full", d / "animation.txt.tmp"); }, "animation.txt",
         "animation.txt.tmp is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        WriteAll(dir.Path() / "animation.txt", old_text);
        c.setup(dir.Path());
        const CameraKeyStatus status = SaveKeyFile(dir.Path() / c.target, keys);
        EXPECT_FALSE(status);
        EXPECT_NE(status.reason.find(c.reason), std::string::npos) << status.reason;
        EXPECT_EQ(ReadAll(dir.Path() / "animation.txt"), old_text);
    }
    // The write went through but the rename cannot replace the target: the
    // temporary file goes away and the target stays.
    ScratchDir dir;
    fs::create_directories(dir.Path() / "animation.txt" / "inside");
    const CameraKeyStatus status = SaveKeyFile(dir.Path() / "animation.txt", keys);
    EXPECT_FALSE(status);
    EXPECT_NE(status.reason.find("cannot replace"), std::string::npos) << status.reason;
    EXPECT_TRUE(fs::is_directory(dir.Path() / "animation.txt" / "inside"));
    EXPECT_FALSE(fs::exists(dir.Path() / "animation.txt.tmp"));
}

TEST(CameraKeyFile, AFifoWhereTheTemporaryGoesIsRefusedNotWaitedOn)
{
    ScratchDir dir;
    const fs::path path = dir.Path() / "animation.txt";
    WriteAll(path, "1\n" + kKeyA + "\n");
    ASSERT_EQ(mkfifo((dir.Path() / "animation.txt.tmp").c_str(), 0600), 0);
    const CameraKeyStatus status = SaveKeyFile(path, {Key(0, {1, 1, 1}, {0, 0, 0, 1})});
    EXPECT_FALSE(status);
    EXPECT_EQ(status.reason, path.string() + ".tmp is not a regular file");
    EXPECT_EQ(ReadAll(path), "1\n" + kKeyA + "\n") << "the old keys stay";
    EXPECT_TRUE(fs::is_fifo(dir.Path() / "animation.txt.tmp"));
}

TEST(CameraKeyFile, SaveRefusesKeysThatWouldNotReadBack)
{
    ScratchDir dir;
    const fs::path path = dir.Path() / "animation.txt";
    WriteAll(path, "0\n");
    // Both times print as 0.000000000000000.
    const std::vector<CameraKey> keys = {Key(1e-17f, {}, {0, 0, 0, 1}), Key(2e-17f, {}, {0, 0, 0, 1})};
    const CameraKeyStatus status = SaveKeyFile(path, keys);
    EXPECT_FALSE(status);
    EXPECT_NE(status.reason.find("would not read back"), std::string::npos) << status.reason;
    EXPECT_EQ(ReadAll(path), "0\n");
}

TEST(CameraKeyFile, KeyTimeCheck)
{
    auto times = [](std::vector<float> ts) {
        std::vector<CameraKey> keys;
        for (float t : ts)
            keys.push_back(Key(t, {}, {0, 0, 0, 1}));
        return keys;
    };
    EXPECT_TRUE(CheckKeyTimes(times({})));
    EXPECT_TRUE(CheckKeyTimes(times({5})));
    EXPECT_TRUE(CheckKeyTimes(times({-1, 0, 2.5f})));
    EXPECT_FALSE(CheckKeyTimes(times({0, 0})));
    EXPECT_FALSE(CheckKeyTimes(times({0, 3, 2})));
    EXPECT_FALSE(CheckKeyTimes(times({0, NAN})));
    EXPECT_FALSE(CheckKeyTimes(times({NAN})));
    EXPECT_FALSE(CheckKeyTimes(times({0, INFINITY})));
}

}  // namespace
