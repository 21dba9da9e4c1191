#include "math/quat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectQuatNear(const Quat& a, const Quat& b, float tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
    EXPECT_NEAR(a.w, b.w, tolerance);
}

Quat FromMatrix4(const Matrix4& m)
{
    return Quat::FromRotationMatrix(m);
}

TEST(QuatTest, FromIdentity)
{
    EXPECT_EQ(FromMatrix4(Matrix4::Identity()), Quat(0, 0, 0, 1));
}

TEST(QuatTest, HalfTurnsTakeEachBranch)
{
    // Exact half-turn matrices (trace -1), so each diagonal branch is taken.
    const float about_y[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
    EXPECT_EQ(Quat::FromRotationMatrix(about_y), Quat(0, 1, 0, 0));
    const float about_x[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};
    EXPECT_EQ(Quat::FromRotationMatrix(about_x), Quat(1, 0, 0, 0));
    const float about_z[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
    EXPECT_EQ(Quat::FromRotationMatrix(about_z), Quat(0, 0, 1, 0));
}

TEST(QuatTest, FromRotationAboutY)
{
    const float theta = 0.8f;
    const Quat q = FromMatrix4(Matrix4::RotationY(theta));
    ExpectQuatNear(q, Quat(0, std::sin(theta / 2), 0, std::cos(theta / 2)), 1e-6f);
}

TEST(QuatTest, MatrixRoundTrip)
{
    Matrix4 m = Matrix4::RotationX(0.3f);
    m.RotateY(2.9f);
    m.RotateZ(-1.3f);
    const Quat q = FromMatrix4(m);
    Matrix4 back = Matrix4::Identity();
    q.ToRotationMatrix(back);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(back[i], m[i], 1e-5) << "element " << i;
}

TEST(QuatTest, ToRotationMatrixElements)
{
    const float h = std::sqrt(0.5f);
    const Quat q(0, 0, h, h);  // quarter turn about Z
    float m[9];
    q.ToRotationMatrix(m);
    EXPECT_NEAR(m[0], 0, 1e-6);
    EXPECT_NEAR(m[1], 1, 1e-6);
    EXPECT_NEAR(m[3], -1, 1e-6);
    EXPECT_NEAR(m[8], 1, 1e-6);
}

TEST(QuatTest, RotationBetweenVectors)
{
    const Quat q = Quat::RotationBetween(Vector3(0, 0, -1), Vector3(0, 1, 0));
    Matrix4 m = Matrix4::Identity();
    q.ToRotationMatrix(m);
    const Vector4 r = m * Vector4(0, 0, -1, 0);
    EXPECT_NEAR(r.x, 0, 1e-6);
    EXPECT_NEAR(r.y, 1, 1e-6);
    EXPECT_NEAR(r.z, 0, 1e-6);
}

TEST(QuatTest, RotationBetweenOppositeVectors)
{
    // |a.y| <= |a.x|: axis (-a.z, 0, a.x) normalised, a half turn.
    const Quat q = Quat::RotationBetween(Vector3(1, 0, 0), Vector3(-1, 0, 0));
    ExpectQuatNear(q, Quat(0, 0, 1, std::cos(kPi / 2)), 1e-6f);
    // Otherwise axis (0, a.z, -a.y).
    const Quat r = Quat::RotationBetween(Vector3(0, 1, 0), Vector3(0, -1, 0));
    ExpectQuatNear(r, Quat(0, 0, -1, 0), 1e-6f);
    Matrix4 m = Matrix4::Identity();
    r.ToRotationMatrix(m);
    const Vector4 v = m * Vector4(0, 1, 0, 0);
    EXPECT_NEAR(v.y, -1, 1e-6);
}

}  // namespace
