#include "math/vector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Vector3Test, CrossFollowsRightHandRule)
{
    EXPECT_EQ(math::Cross(Vector3(1, 0, 0), Vector3(0, 1, 0)), Vector3(0, 0, 1));
    EXPECT_EQ(math::Cross(Vector3(0, 1, 0), Vector3(1, 0, 0)), Vector3(0, 0, -1));
    EXPECT_EQ(math::Cross(Vector3(1, 2, 3), Vector3(4, 5, 6)), Vector3(-3, 6, -3));
}

TEST(Vector3Test, Dot)
{
    EXPECT_FLOAT_EQ(math::Dot(Vector3(1, 2, 3), Vector3(4, -5, 6)), 12.0f);
}

TEST(Vector3Test, NormaliseZeroVectorStaysZero)
{
    const Vector3 n = math::Normalise(Vector3(0, 0, 0));
    EXPECT_EQ(n, Vector3(0, 0, 0));
    EXPECT_FALSE(std::isnan(n.x));
}

TEST(Vector3Test, NormaliseGivesUnitLength)
{
    const Vector3 n = math::Normalise(Vector3(3, 0, -4));
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, -0.8f);
    EXPECT_FLOAT_EQ(n.Length(), 1.0f);
}

TEST(Vector3Test, SubtractInPlace)
{
    Vector3 v(5, 7, 9);
    v -= Vector3(1, 2, 3);
    EXPECT_EQ(v, Vector3(4, 5, 6));
}

TEST(Vector3Test, SideOfPlaneUsesEpsilonBand)
{
    const Vector4 water(0, 1, 0, 0);
    EXPECT_EQ(math::SideOfPlane(water, Vector3(0, 1, 0), 0.01f), math::kPlaneFront);
    EXPECT_EQ(math::SideOfPlane(water, Vector3(0, -1, 0), 0.01f), math::kPlaneBack);
    EXPECT_EQ(math::SideOfPlane(water, Vector3(5, 0.005f, 5), 0.01f), math::kPlaneOn);
    EXPECT_EQ(math::SideOfPlane(water, Vector3(5, -0.01f, 5), 0.01f), math::kPlaneOn);
    // d is part of the distance: the plane y = 2 written as (0, 1, 0, -2).
    EXPECT_EQ(math::SideOfPlane(Vector4(0, 1, 0, -2), Vector3(0, 1, 0), 0.01f), math::kPlaneBack);
}

TEST(Vector2Test, Length)
{
    EXPECT_FLOAT_EQ(Vector2(3, 4).Length(), 5.0f);
}

}  // namespace
