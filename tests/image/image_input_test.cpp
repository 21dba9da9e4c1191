// What the readers share: the input stream, detection by content on one
// opened stream (pipes included), only regular files opened by name, the
// pixel budget and its bombs, zero sides and the failure reasons.
#include "image/image_file.h"
#include "image/image_input.h"
#include "image/jpeg_decoder.h"
#include "image/png_file.h"
#include "image/tga.h"

#include "image/hostile_images.h"
#include "image/image_test_util.h"
#include "image/jpeg_test_util.h"
#include "support/fifo_writer.h"
#include "support/run_tool.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using imagetest::FlatGreyJpeg;
using imagetest::FlatGreyTga;
using imagetest::MakePattern;
using imagetest::ReadBytes;
using imagetest::WriteBytes;
using imagetest::ZeroPng;

namespace {

// Restores the default budget when a test that changed it ends.
struct BudgetGuard {
    explicit BudgetGuard(uint64_t pixels) { SetPixelBudget(pixels); }
    ~BudgetGuard() { SetPixelBudget(kDefaultPixelBudget); }
};

// Reads bytes from memory with the reader of one format.
using MemoryReader = std::function<BitmapPtr(const std::vector<uint8_t>&, ImageError*)>;

BitmapPtr ReadTgaBytes(const std::vector<uint8_t>& f, ImageError* e)
{
    ImageInput in(f.data(), f.size());
    return ReadTGA(in, e);
}
BitmapPtr ReadPngBytes(const std::vector<uint8_t>& f, ImageError* e)
{
    ImageInput in(f.data(), f.size());
    return ReadPNG(in, e);
}
BitmapPtr ReadJpegBytes(const std::vector<uint8_t>& f, ImageError* e)
{
    ImageInput in(f.data(), f.size());
    return ReadJPEG(in, e);
}

struct FormatCase {
    const char* name;
    MemoryReader read;
    std::function<std::vector<uint8_t>(uint16_t, uint16_t)> make;  // a flat image of that size
};

const FormatCase kFormats[] = {
    {"tga", ReadTgaBytes, [](uint16_t w, uint16_t h) { return FlatGreyTga(w, h, 77); }},
    {"png grey", ReadPngBytes, [](uint16_t w, uint16_t h) { return ZeroPng(w, h, 0, 8, 64); }},
    {"png palette", ReadPngBytes, [](uint16_t w, uint16_t h) { return ZeroPng(w, h, 3, 1, 64); }},
    {"jpeg", ReadJpegBytes, [](uint16_t w, uint16_t h) { return FlatGreyJpeg(w, h); }},
};

// --- the generators make what they say ------------------------------------------------

TEST(HostileImageTest, GeneratorsMakeReadableFlatPictures)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        MemoryReader read;
        uint32_t pixel;
    } cases[] = {
        {"tga", FlatGreyTga(300, 7, 77), ReadTgaBytes, PackRGBA(77, 77, 77, 255)},
        // Chunk sizes that make the rows span several copies and a tail.
        {"png grey", ZeroPng(45, 31, 0, 8, 100), ReadPngBytes, PackRGBA(0, 0, 0, 255)},
        {"png palette", ZeroPng(301, 9, 3, 1, 50), ReadPngBytes, PackRGBA(0, 0, 0, 255)},
        {"jpeg", FlatGreyJpeg(37, 21), ReadJpegBytes, PackRGBA(128, 128, 128, 255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageError error = ImageError::kNone;
        BitmapPtr b = c.read(c.file, &error);
        ASSERT_NE(b, nullptr) << ImageErrorText(error);
        for (int y = 0; y < b->height; ++y)
            for (int x = 0; x < b->width; ++x)
                ASSERT_EQ(b->Row(y)[x], c.pixel) << x << "," << y;
    }
}

// --- pixel budget, zero sides ----------------------------------------------------------

TEST(PixelBudgetTest, EveryReaderTakesTheBudgetAndNotOnePixelMore)
{
    for (const FormatCase& f : kFormats) {
        SCOPED_TRACE(f.name);
        const std::vector<uint8_t> file = f.make(40, 30);
        {
            BudgetGuard budget(1200);
            ImageError error = ImageError::kNone;
            BitmapPtr b = f.read(file, &error);
            ASSERT_NE(b, nullptr) << ImageErrorText(error);
            EXPECT_EQ(b->width, 40);
        }
        BudgetGuard budget(1199);
        ImageError error = ImageError::kNone;
        EXPECT_EQ(f.read(file, &error), nullptr);
        EXPECT_EQ(error, ImageError::kTooLarge);
    }
    EXPECT_EQ(PixelBudget(), kDefaultPixelBudget);
    EXPECT_EQ(kDefaultPixelBudget, 8192u * 8192u);
}

TEST(PixelBudgetTest, EveryReaderRefusesAZeroSide)
{
    for (const FormatCase& f : kFormats)
        for (const auto& [w, h] : {std::pair<uint16_t, uint16_t>{0, 16}, {16, 0}}) {
            SCOPED_TRACE(testing::Message() << f.name << " " << w << "x" << h);
            ImageError error = ImageError::kNone;
            EXPECT_EQ(f.read(f.make(w, h), &error), nullptr);
            EXPECT_EQ(error, ImageError::kZeroSide);
        }
}

// The decompression bombs: small files of about a gigapixel.
struct Bomb {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
};

const Bomb kBombs[] = {
    {"bomb_palette1.png", [] { return ZeroPng(65535, 16383, 3, 1); }},
    {"bomb_grey.png", [] { return ZeroPng(32767, 32767, 0, 8); }},
    {"bomb_grey.jpg", [] { return FlatGreyJpeg(32767, 32767); }},
    {"bomb_grey_rle.tga", [] { return FlatGreyTga(32768, 32767, 0); }},
};

// Runs the tool with the arguments and returns its exit status and peak
// resident memory (KiB). Its address space is capped at 2 GiB, so a
// regression fails the test instead of taking the machine's memory.
struct MeasuredRun {
    int status = -1;
    long peak_kib = -1;
    std::string err;
};

MeasuredRun RunMeasured(const std::vector<std::string>& args, const std::string& err_path)
{
    MeasuredRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0)
            dup2(fd, 2);
#if !defined(__SANITIZE_ADDRESS__)
        const rlimit cap{rlim_t(2) << 30, rlim_t(2) << 30};
        setrlimit(RLIMIT_AS, &cap);
#endif
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.peak_kib = usage.ru_maxrss;
    }
    run.err = testsupport::ReadFileText(err_path);
    return run;
}

TEST(PixelBudgetTest, BombsAreRefusedInLittleMemory)
{
    imagetest::ScratchDir dir;
    const std::string tool = std::string(NERELLE_BINARY_DIR) + "/tools/image/nerelle-image";
    for (const Bomb& bomb : kBombs) {
        SCOPED_TRACE(bomb.name);
        const std::string path = dir.File(bomb.name);
        WriteBytes(path, bomb.make());
        ImageError error = ImageError::kNone;
        EXPECT_EQ(ReadImageFile(path.c_str(), &error), nullptr);
        EXPECT_EQ(error, ImageError::kTooLarge);

        const MeasuredRun run = RunMeasured({tool, "info", path}, dir.File("err.txt"));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "error: cannot read " + path + ": larger than the pixel budget\n");
        EXPECT_GT(run.peak_kib, 0);
        EXPECT_LT(run.peak_kib, 100 * 1024);
        RecordProperty(bomb.name, std::to_string(run.peak_kib));
        std::remove(path.c_str());
    }
}

// --- one stream: detection by content, FIFOs ----------------------------------------------

TEST(ImageDetectionTest, FirstBytesTellPngAndJpegOnly)
{
    imagetest::ScratchDir dir;
    const std::string tga = dir.File("t.tga");
    ASSERT_TRUE(WriteTGA(tga.c_str(), MakePattern(3, 3, false, false).get()));
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        ImageKind kind;
    } cases[] = {
        {"png", ZeroPng(2, 2, 0, 8), ImageKind::kPNG},
        {"jpeg", FlatGreyJpeg(8, 8), ImageKind::kJPEG},
        {"soi without marker", {0xFF, 0xD8, 0x00, 0x01}, ImageKind::kNone},
        {"png signature cut short", {0x89, 'P', 'N', 'G'}, ImageKind::kNone},
        {"tga", ReadBytes(tga), ImageKind::kNone},
        {"empty", {}, ImageKind::kNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageInput in(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(ImageKindOfBytes(in), c.kind);
        EXPECT_EQ(in.Position(), 0u);  // nothing consumed
    }
}

TEST(ImageDetectionTest, ReasonsForUnnamedFiles)
{
    std::vector<uint8_t> tga_cut = FlatGreyTga(64, 64, 9);
    tga_cut.resize(tga_cut.size() / 2);
    std::vector<uint8_t> png_cut = ZeroPng(64, 64, 0, 8);
    png_cut.resize(png_cut.size() - 20);
    std::vector<uint8_t> junk_then_jpeg = {'j', 'u', 'n', 'k', '!', '!'};  // the marker search steps by pairs
    const std::vector<uint8_t> jpeg = FlatGreyJpeg(16, 8);
    junk_then_jpeg.insert(junk_then_jpeg.end(), jpeg.begin(), jpeg.end());
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        ImageError error;  // kNone: read
    } cases[] = {
        {"text", {'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}, ImageError::kUnknownFormat},
        // Read as a TGA header: colour-mapped with a depth of 'o' bits.
        {"text looking colour-mapped",
         {'p', 'l', 'a', 'i', 'n', ' ', 't', 'e', 'x', 't', ',', ' ', 'n', 'o', ' ', 'i', 'o', 'a', 'g', 'e', '\n'},
         ImageError::kUnknownFormat},
        {"empty", {}, ImageError::kUnknownFormat},
        {"truncated tga", tga_cut, ImageError::kCorrupt},
        {"truncated png", png_cut, ImageError::kCorrupt},
        {"jpeg after junk (TGA, then JPEG from the start again)", junk_then_jpeg, ImageError::kNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageInput in(c.bytes.data(), c.bytes.size());
        ImageError error = ImageError::kNone;
        BitmapPtr b = ReadImage(in, ImageKind::kNone, &error);
        EXPECT_EQ(b != nullptr, c.error == ImageError::kNone);
        EXPECT_EQ(error, c.error) << ImageErrorText(error);
    }
}

// An endless stream (a device given as standard input; by name a device is
// refused before any read) ends the reading after a bounded number of
// bytes. Measured in bytes rather than seconds, so the verdict does not
// depend on the machine's speed: the marker search gives up after a MiB.
TEST(ImageDetectionTest, EndlessStreamIsRefusedNotReadForever)
{
    if (access("/dev/zero", R_OK) != 0)
        GTEST_SKIP() << "no /dev/zero";
    ImageError error = ImageError::kNone;

    const struct {
        const char* name;
        BitmapPtr (*read)(ImageInput&, ImageError*);
    } readers[] = {
        {"by content", [](ImageInput& in, ImageError* e) { return ReadImage(in, ImageKind::kNone, e); }},
        {"as JPEG", [](ImageInput& in, ImageError* e) { return ReadJPEG(in, e); }},
    };
    for (const auto& r : readers) {
        FilePtr zero(std::fopen("/dev/zero", "rb"));
        ASSERT_TRUE(zero);
        ImageInput in(zero.get());
        EXPECT_EQ(r.read(in, &error), nullptr) << r.name;
        EXPECT_LE(in.Position(), uint64_t(2) << 20) << r.name;
    }
}

// Feeds bytes into the write end of a pipe from a thread and closes it.
class PipeFeeder {
public:
    PipeFeeder(int fd, std::vector<uint8_t> bytes)
        : m_thread([fd, bytes = std::move(bytes)] {
              testsupport::WriteAll(fd, bytes);
              close(fd);
          })
    {}
    ~PipeFeeder() { m_thread.join(); }

private:
    std::thread m_thread;
};

// A standard input that is a pipe is read once, by content, also when a
// reader gives up after the first buffer.
TEST(ImageDetectionTest, PipeIsReadOnceByContent)
{
    std::signal(SIGPIPE, SIG_IGN);  // a reader that stops early must not end the test
    imagetest::ScratchDir dir;
    const std::string tga_path = dir.File("big.tga");
    BitmapPtr big = MakePattern(300, 90, false, true);  // more than one input buffer
    ASSERT_TRUE(WriteTGA(tga_path.c_str(), big.get()));
    imagetest::JpegParams params;
    params.width = 24;
    params.height = 16;
    params.pixels = imagetest::PhotoPixels(24, 16, false);
    std::vector<uint8_t> junk_then_jpeg = {'#', '!', 'x', 'y'};
    const std::vector<uint8_t> jpeg = imagetest::EncodeJpeg(params);
    junk_then_jpeg.insert(junk_then_jpeg.end(), jpeg.begin(), jpeg.end());
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        ImageError error;
    } cases[] = {
        {"tga", ReadBytes(tga_path), ImageError::kNone},
        {"png", ZeroPng(70, 50, 3, 4), ImageError::kNone},
        {"jpeg", jpeg, ImageError::kNone},
        {"jpeg after junk", junk_then_jpeg, ImageError::kNone},
        {"text", {'n', 'o', 'p', 'e'}, ImageError::kUnknownFormat},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageInput memory(c.bytes.data(), c.bytes.size());
        BitmapPtr expected = ReadImage(memory, ImageKind::kNone);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ImageError error = ImageError::kNone;
        BitmapPtr b;
        {
            PipeFeeder feeder(fds[1], c.bytes);
            FilePtr stream(fdopen(fds[0], "rb"));
            ImageInput in(stream.get());
            b = ReadImage(in, ImageKind::kNone, &error);
        }
        EXPECT_EQ(error, c.error) << ImageErrorText(error);
        if (c.error == ImageError::kNone) {
            ASSERT_NE(b, nullptr);
            ASSERT_NE(expected, nullptr);
            EXPECT_TRUE(imagetest::SamePixels(*b, *expected));
        }
    }
}

// A FIFO, a device or a directory named as an image is refused at once by
// every reader that takes a name: a FIFO would block the open (or the
// read) for good, a device could be read for ever. The writer behind the
// FIFO offers a whole image, so a reader that opened it would get a picture
// instead of the refusal, and would not wait for ever either.
TEST(ImageDetectionTest, OnlyRegularFilesAreOpenedByName)
{
    std::signal(SIGPIPE, SIG_IGN);
    imagetest::ScratchDir dir;
    const std::vector<uint8_t> png = ZeroPng(8, 8, 2, 8);
    const struct {
        const char* name;
        std::function<BitmapPtr(const char*, ImageError*)> read;
    } readers[] = {
        {"by content", [](const char* f, ImageError* e) { return ReadImageFile(f, e); }},
        {"TGA", [](const char* f, ImageError* e) { return ReadTGA(f, e); }},
        {"PNG", [](const char* f, ImageError* e) { return ReadPNG(f, e); }},
        {"JPEG", [](const char* f, ImageError* e) { return ReadJPEG(f, e); }},
    };
    for (const auto& r : readers) {
        SCOPED_TRACE(r.name);
        const std::string fifo = dir.File("pipe.png");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        ImageError error = ImageError::kNone;
        BitmapPtr b;
        {
            testsupport::FifoWriter writer(fifo, png);
            b = r.read(fifo.c_str(), &error);
        }
        EXPECT_EQ(b, nullptr);
        EXPECT_EQ(error, ImageError::kNotRegular) << ImageErrorText(error);
        std::remove(fifo.c_str());
        for (const std::string& other : {std::string("/dev/zero"), dir.File("")}) {
            error = ImageError::kNone;
            EXPECT_EQ(r.read(other.c_str(), &error), nullptr) << other;
            EXPECT_EQ(error, ImageError::kNotRegular) << other << ": " << ImageErrorText(error);
        }
    }
    EXPECT_STREQ(ImageErrorText(ImageError::kNotRegular), "not a regular file");
}

TEST(ImageInputTest, GoesBackToTheStartWhereTheSourceAllows)
{
    std::vector<uint8_t> bytes(200000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + i / 251);
    imagetest::ScratchDir dir;
    const std::string file = dir.File("bytes.bin");
    WriteBytes(file, bytes);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread feeder([&] {
        for (size_t at = 0; at < bytes.size();) {
            const ssize_t n = write(fds[1], bytes.data() + at, bytes.size() - at);
            if (n <= 0)
                break;
            at += size_t(n);
        }
        close(fds[1]);
    });
    FilePtr from_pipe(fdopen(fds[0], "rb"));
    FilePtr from_file(std::fopen(file.c_str(), "rb"));
    ImageInput pipe_in(from_pipe.get()), file_in(from_file.get()), memory_in(bytes.data(), bytes.size());

    const struct {
        const char* name;
        ImageInput& in;
        bool sized;           // knows how much is left
        bool back_after_far;  // can go back after passing the first buffer
    } cases[] = {{"pipe", pipe_in, false, false}, {"file", file_in, true, true}, {"memory", memory_in, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t head[4], again[4];
        ASSERT_EQ(c.in.Peek(head, 4), 4u);
        ASSERT_TRUE(c.in.Read(again, 4));
        EXPECT_EQ(std::vector<uint8_t>(head, head + 4), std::vector<uint8_t>(again, again + 4));
        EXPECT_TRUE(c.in.Skip(1000));
        EXPECT_EQ(c.in.Remaining().has_value(), c.sized);
        if (c.sized) {
            EXPECT_EQ(*c.in.Remaining(), bytes.size() - 1004);
        }
        ASSERT_TRUE(c.in.Rewind());  // still within the first buffer
        uint8_t b = 0;
        ASSERT_TRUE(c.in.Byte(b));
        EXPECT_EQ(b, bytes[0]);
        ASSERT_TRUE(c.in.Skip(150000));
        ASSERT_TRUE(c.in.Byte(b));
        EXPECT_EQ(b, bytes[150001]);
        EXPECT_EQ(c.in.Rewind(), c.back_after_far);
        if (c.back_after_far) {
            std::vector<uint8_t> all(bytes.size());
            ASSERT_TRUE(c.in.Read(all.data(), all.size()));  // one read larger than the buffer
            EXPECT_EQ(all, bytes);
            EXPECT_FALSE(c.in.Byte(b));
        }
    }
    // Drain the pipe so the feeder finishes its writes: closing the read end
    // while it still writes would raise SIGPIPE and end the test program.
    while (std::fgetc(from_pipe.get()) != EOF) {
    }
    feeder.join();
    from_pipe.reset();
}

}  // namespace
