// The command line, without a context: what each option sets, what the
// window system gets, and every refusal.
#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ParsedOptions Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "nerelle");
    return ParseOptions(int(args.size()), args.data());
}

TEST(Options, WithoutOptionsEveryArgumentGoesToTheWindowSystem)
{
    const ParsedOptions p = Parse({"-display", ":3", "-geometry", "800x600"});
    ASSERT_EQ(p.error, "");
    EXPECT_FALSE(p.options.headless);
    EXPECT_EQ(p.options.window_arguments,
              (std::vector<std::string>{"nerelle", "-display", ":3", "-geometry", "800x600"}));
    // --data is ours even with a window; the rest still goes on.
    const ParsedOptions d = Parse({"--data", "data/other", "-iconic"});
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.options.data, "data/other");
    EXPECT_EQ(d.options.window_arguments, (std::vector<std::string>{"nerelle", "-iconic"}));
}

TEST(Options, ScreenshotAndRecordingAreHeadlessWithTheirSettings)
{
    const ParsedOptions s = Parse({"--screenshot", "a.png", "--time", "12.5", "--size", "640x480", "--keys", "k.txt"});
    ASSERT_EQ(s.error, "");
    EXPECT_TRUE(s.options.headless);
    EXPECT_EQ(s.options.screenshot, "a.png");
    EXPECT_EQ(s.options.time, 12.5);
    ASSERT_TRUE(s.options.size);
    EXPECT_EQ(s.options.size->width, 640);
    EXPECT_EQ(s.options.size->height, 480);
    EXPECT_EQ(s.options.keys, "k.txt");

    const ParsedOptions r =
        Parse({"--headless", "--record", "keys.txt", "--out", "o", "--frames", "100:200", "--overwrite"});
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.options.overwrite);
    EXPECT_TRUE(r.options.headless);
    EXPECT_EQ(r.options.record, "keys.txt");
    EXPECT_EQ(r.options.out, "o");
    ASSERT_TRUE(r.options.frames);
    EXPECT_EQ(r.options.frames->first, 100u);
    EXPECT_EQ(r.options.frames->second, 200u);
    EXPECT_FALSE(r.options.size);
    EXPECT_FALSE(r.options.png_default_compression);
    EXPECT_TRUE(Parse({"--record", "k", "--png-compression", "default"}).options.png_default_compression);
    EXPECT_TRUE(Parse({"--help"}).options.help);
}

TEST(Options, ViewOptionsGoWithTheWindowAndEveryBatchMode)
{
    const std::vector<std::vector<const char*>> modes = {
        {}, {"--screenshot", "a.png"}, {"--record", "k.txt"}, {"--record", "k.txt", "--video", "v.mp4"}};
    for (std::vector<const char*> args : modes) {
        const ParsedOptions plain = Parse(args);
        ASSERT_EQ(plain.error, "");
        EXPECT_FALSE(plain.options.follow);
        EXPECT_FALSE(plain.options.error_view);
        EXPECT_FALSE(plain.options.error_thresholds);
        args.insert(args.end(), {"--follow", "--error-view", "--error-thresholds", "0.1,2.5"});
        const ParsedOptions p = Parse(args);
        ASSERT_EQ(p.error, "") << args.size();
        EXPECT_TRUE(p.options.follow);
        EXPECT_TRUE(p.options.error_view);
        ASSERT_TRUE(p.options.error_thresholds);
        EXPECT_FLOAT_EQ(p.options.error_thresholds->first, 0.1f);
        EXPECT_FLOAT_EQ(p.options.error_thresholds->second, 2.5f);
        EXPECT_EQ(p.options.window_arguments, std::vector<std::string>{"nerelle"});
    }
}

TEST(Options, RefusalsSayWhy)
{
    const struct {
        std::vector<const char*> args;
        const char* error;
    } cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--screenshot"}, "--screenshot needs a value"},
        {{"--screenshot", ""}, "--screenshot needs a value"},
        {{"--screenshot", "a.jpg"}, "--screenshot writes .tga or .png files: a.jpg"},
        {{"--screenshot", "a.png", "--time", "-1"}, "--time wants a number of seconds, 0 or more: -1"},
        {{"--screenshot", "a.png", "--time", "nan"}, "--time wants a number of seconds, 0 or more: nan"},
        {{"--screenshot", "a.png", "--time", "3s"}, "--time wants a number of seconds, 0 or more: 3s"},
        {{"--screenshot", "a.png", "--size", "0x10"}, "--size wants WIDTHxHEIGHT, each 1 to 16384: 0x10"},
        {{"--screenshot", "a.png", "--size", "16385x10"}, "--size wants WIDTHxHEIGHT, each 1 to 16384: 16385x10"},
        {{"--screenshot", "a.png", "--size", "99999999999x1"},
         "--size wants WIDTHxHEIGHT, each 1 to 16384: 99999999999x1"},
        {{"--screenshot", "a.png", "--size", "-4x3"}, "--size wants WIDTHxHEIGHT, each 1 to 16384: -4x3"},
        {{"--record", "k", "--frames", "5:5"}, "--frames wants A:B with frame numbers A < B: 5:5"},
        {{"--record", "k", "--frames", "7"}, "--frames wants A:B with frame numbers A < B: 7"},
        {{"--record", "k", "--frames", "1:9999999999"}, "--frames wants A:B with frame numbers A < B: 1:9999999999"},
        {{"--time", "3"}, "--time belongs to --screenshot"},
        {{"--keys", "k"}, "--keys belongs to --screenshot"},
        {{"--out", "o"}, "--out belongs to --record"},
        {{"--video", "v.mp4"}, "--video belongs to --record"},
        {{"--screenshot", "a.png", "--overwrite"}, "--overwrite belongs to --record"},
        {{"--record", "k", "--png-compression", "best"}, "--png-compression wants fast or default: best"},
        {{"--png-compression", "fast"}, "--png-compression belongs to --screenshot or --record"},
        {{"--headless"}, "--headless renders only what --screenshot or --record asks for"},
        {{"--screenshot", "a.png", "--record", "k", "--size", "8x8"},
         "--size is ambiguous with both --screenshot and --record; run them one at a time"},
        {{"--screenshot", "a.png", "-display", ":1"}, "no window, so no window-system argument: -display"},
        {{"--error-thresholds"}, "--error-thresholds needs a value"},
        {{"--error-thresholds", "1"}, "--error-thresholds wants A,B in metres with 0 < A < B: 1"},
        {{"--error-thresholds", "2,1"}, "--error-thresholds wants A,B in metres with 0 < A < B: 2,1"},
        {{"--error-thresholds", "1,1"}, "--error-thresholds wants A,B in metres with 0 < A < B: 1,1"},
        {{"--error-thresholds", "0,1"}, "--error-thresholds wants A,B in metres with 0 < A < B: 0,1"},
        {{"--error-thresholds", "0.5,inf"}, "--error-thresholds wants A,B in metres with 0 < A < B: 0.5,inf"},
        {{"--error-thresholds", "a,b"}, "--error-thresholds wants A,B in metres with 0 < A < B: a,b"},
        {{"--error-thresholds", "1,2,3"}, "--error-thresholds wants A,B in metres with 0 < A < B: 1,2,3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.args).error, c.error) << c.args.front();
}

}  // namespace
