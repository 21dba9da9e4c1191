// Progress lines of the dive tool, on a clock the test drives.
#include "dive/progress_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Update {
    double at;  // seconds since the start
    size_t done, total;
};

// The text printed for updates at the given times, the clock starting at 100.
std::string Printed(const std::vector<Update>& updates, double period = ProgressLine::kDefaultPeriod)
{
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    double now = 100.0;
    {
        ProgressLine progress(out, period, [&now] { return now; });
        for (const Update& u : updates) {
            now = 100.0 + u.at;
            progress.Update("stage", u.done, u.total);
        }
    }
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(ProgressLineTest, QuietForASecondThenAboutOncePerSecond)
{
    const struct {
        std::vector<Update> updates;
        const char* printed;
    } cases[] = {
        {{}, ""},
        {{{0.2, 1, 10}, {0.99, 9, 10}, {0.999, 10, 10}}, ""},  // a quick run prints nothing
        {{{0.5, 1, 10}, {1.0, 2, 10}, {1.5, 3, 10}, {2.0, 4, 10}, {2.4, 5, 10}, {3.5, 6, 10}},
         "stage: 20% (2 of 10)\nstage: 40% (4 of 10)\nstage: 60% (6 of 10)\n"},
        // A late update restarts the period instead of catching up.
        {{{5.0, 1, 3}, {5.5, 2, 3}, {6.0, 3, 3}}, "stage: 33% (1 of 3)\nstage: 100% (3 of 3)\n"},
        // Rounded down, so 100% means done; no total counts as done.
        {{{1.0, 999, 1000}, {2.0, 7, 0}, {3.0, 12, 10}},
         "stage: 99% (999 of 1000)\nstage: 100% (7 of 0)\nstage: 100% (12 of 10)\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Printed(c.updates), c.printed);
}

TEST(ProgressLineTest, AnotherPeriodSetsBothTheQuietTimeAndTheSpacing)
{
    const std::vector<Update> updates = {{0, 1, 8},   {0, 2, 8},   {0.3, 3, 8}, {2.4, 4, 8},
                                         {2.5, 5, 8}, {4.9, 6, 8}, {5, 7, 8}};
    const struct {
        double period;
        const char* printed;
    } cases[] = {
        {0,
         "stage: 12% (1 of 8)\nstage: 25% (2 of 8)\nstage: 37% (3 of 8)\nstage: 50% (4 of 8)\n"
         "stage: 62% (5 of 8)\nstage: 75% (6 of 8)\nstage: 87% (7 of 8)\n"},
        {2.5, "stage: 62% (5 of 8)\nstage: 87% (7 of 8)\n"},
        {1e9, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Printed(updates, c.period), c.printed) << c.period;
}

TEST(ProgressLineTest, PeriodFromTheEnvironmentValue)
{
    const struct {
        const char* text;
        bool ok;
        double period;  // 7 when refused: left as it was
    } cases[] = {
        {nullptr, true, 1},  {"", true, 1},     {"0", true, 0},      {"2.5", true, 2.5},
        {"1e3", true, 1000}, {"-1", false, 7},  {"abc", false, 7},   {"1s", false, 7},
        {"nan", false, 7},   {"inf", false, 7}, {"1e999", false, 7}, {"-0.5", false, 7},
    };
    for (const auto& c : cases) {
        double period = 7;
        EXPECT_EQ(ProgressLine::ParsePeriod(c.text, period), c.ok) << (c.text ? c.text : "(unset)");
        EXPECT_EQ(period, c.period) << (c.text ? c.text : "(unset)");
    }
}

}  // namespace
