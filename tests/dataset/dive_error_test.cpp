// The solution's error figures against small datasets worked out by hand.
#include "dataset/dive_error.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Motion along x, one metre a step; the solution off by the given offsets.
DiveData Dataset(const std::vector<Vector3>& offsets, size_t motion_steps)
{
    DiveData data;
    data.time = 1.0 + double(motion_steps);
    data.dt = 0.5;
    for (size_t i = 0; i < motion_steps; ++i)
        data.motion_track.push_back({float(i), -2.0f, 0.0f});
    for (size_t i = 0; i < offsets.size(); ++i)
        data.solution_positions.push_back(Vector3(float(i), -2.0f, 0.0f) + offsets[i]);
    data.solution_directions.assign(offsets.size(), Vector3(1, 0, 0));
    return data;
}

TEST(DiveErrors, FiguresOfAHandComputedDataset)
{
    // Errors 3-D: 5, 0, 2, 1 (the first a 3-4-5 triangle: 3 east, 4 down).
    const DiveData data = Dataset({{3, -4, 0}, {0, 0, 0}, {0, 0, 2}, {0, 1, 0}}, 4);
    const DiveErrors e = ComputeDiveErrors(data);
    ASSERT_EQ(e.Common(), 4u);
    EXPECT_FALSE(e.Partial());
    EXPECT_EQ(e.total, (std::vector<float>{5, 0, 2, 1}));
    EXPECT_EQ(e.horizontal, (std::vector<float>{3, 0, 2, 0}));
    EXPECT_EQ(e.vertical, (std::vector<float>{4, 0, 0, 1}));
    // 3-D: sum 8, squares 30; nearest rank of 95% of 4 is the 4th: 5.
    EXPECT_DOUBLE_EQ(e.total_figures.mean, 2.0);
    EXPECT_DOUBLE_EQ(e.total_figures.rms, std::sqrt(7.5));
    EXPECT_DOUBLE_EQ(e.total_figures.p95, 5.0);
    EXPECT_DOUBLE_EQ(e.total_figures.max, 5.0);
    EXPECT_EQ(e.total_figures.max_index, 0u);
    EXPECT_DOUBLE_EQ(e.total_figures.max_time, 0.0);
    // Horizontal: 3, 0, 2, 0: mean 1.25, squares 13.
    EXPECT_DOUBLE_EQ(e.horizontal_figures.mean, 1.25);
    EXPECT_DOUBLE_EQ(e.horizontal_figures.rms, std::sqrt(13.0 / 4.0));
    // Vertical: 4, 0, 0, 1: its maximum at the first fix too.
    EXPECT_DOUBLE_EQ(e.vertical_figures.mean, 1.25);
    EXPECT_DOUBLE_EQ(e.vertical_figures.max, 4.0);
}

TEST(DiveErrors, TheMaximumsTimeIsItsStepTimesDtAndTiesKeepTheFirst)
{
    const DiveErrors e = ComputeDiveErrors(Dataset({{0, 0, 0}, {0, 0, 1}, {0, 0, 3}, {0, 0, 3}, {0, 0, 2}}, 5));
    EXPECT_EQ(e.total_figures.max_index, 2u);
    EXPECT_DOUBLE_EQ(e.total_figures.max_time, 1.0);  // step 2 at dt 0.5
    EXPECT_DOUBLE_EQ(e.vertical_figures.max, 0.0);
}

TEST(DiveErrors, NinetyFifthPercentileIsTheNearestRank)
{
    // Twenty errors 1 .. 20 (in reverse order): the 19th smallest is 19.
    std::vector<float> errors;
    for (int i = 20; i >= 1; --i)
        errors.push_back(float(i));
    EXPECT_DOUBLE_EQ(SummariseErrors(errors, 1.0).p95, 19.0);
    // Twenty-one: ceil(19.95) = 20th smallest.
    errors.push_back(21.0f);
    EXPECT_DOUBLE_EQ(SummariseErrors(errors, 1.0).p95, 20.0);
    // One error is every figure.
    const ErrorFigures one = SummariseErrors({0.7f}, 0.25);
    EXPECT_FLOAT_EQ(float(one.p95), 0.7f);
    EXPECT_FLOAT_EQ(float(one.rms), 0.7f);
    EXPECT_EQ(SummariseErrors({}, 1.0).count, 0u);
}

TEST(DiveErrors, AShorterSolutionIsMeasuredOverTheStepsBothHave)
{
    const DiveErrors e = ComputeDiveErrors(Dataset({{1, 0, 0}, {2, 0, 0}}, 6));
    EXPECT_TRUE(e.Partial());
    EXPECT_EQ(e.Common(), 2u);
    EXPECT_EQ(e.motion_steps, 6u);
    EXPECT_EQ(e.solution_fixes, 2u);
    EXPECT_DOUBLE_EQ(e.total_figures.mean, 1.5);
    // Without any solution there is nothing to measure.
    const DiveErrors none = ComputeDiveErrors(Dataset({}, 6));
    EXPECT_EQ(none.Common(), 0u);
    EXPECT_EQ(none.total_figures.count, 0u);
}

TEST(DiveErrors, ErrorAtATimeIsInterpolatedBetweenItsFixes)
{
    const DiveData data = Dataset({{0, 0, 1}, {0, 0, 3}, {0, 0, 2}}, 3);
    const DiveErrors e = ComputeDiveErrors(data);
    EXPECT_FLOAT_EQ(e.TotalAt(data, 0.0), 1.0f);
    EXPECT_FLOAT_EQ(e.TotalAt(data, 0.25), 2.0f);  // half way from fix 0 to fix 1
    EXPECT_FLOAT_EQ(e.TotalAt(data, 0.5), 3.0f);
    EXPECT_FLOAT_EQ(e.TotalAt(data, 1.0), 2.0f);   // the last fix holds
}

TEST(DiveErrors, ClassesSplitAtTheThresholds)
{
    const struct {
        float error;
        int expected;
    } cases[] = {{0.0f, 0}, {0.249f, 0}, {0.25f, 1}, {0.49f, 1}, {0.5f, 2}, {7.0f, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(ErrorClass(c.error, 0.25f, 0.5f), c.expected) << c.error;
}

}  // namespace
