#include "math/matrix4.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
}

// Normalised device z of a world point.
float NdcZ(const Matrix4& projection, const Matrix4& view, const Vector3& p)
{
    const Vector4 clip = projection * (view * Vector4(p, 1));
    return clip.z / clip.w;
}

TEST(Matrix4Test, LayoutIsColumnMajorWithTranslationAt12)
{
    const Matrix4 t = Matrix4::Translation(1, 2, 3);
    EXPECT_EQ(t[12], 1);
    EXPECT_EQ(t[13], 2);
    EXPECT_EQ(t[14], 3);
    EXPECT_EQ(t.At(1, 3), 2);
    const Vector4 p = t * Vector4(10, 20, 30, 1);
    EXPECT_EQ(p, Vector4(11, 22, 33, 1));
    // A direction (w = 0) is not moved.
    EXPECT_EQ(t * Vector4(1, 0, 0, 0), Vector4(1, 0, 0, 0));
}

TEST(Matrix4Test, ProductsActRightToLeft)
{
    // T * R: rotate first, then translate.
    const Matrix4 m = Matrix4::Translation(5, 0, 0) * Matrix4::RotationZ(kPi / 2);
    const Vector4 p = m * Vector4(1, 0, 0, 1);
    EXPECT_NEAR(p.x, 5, 1e-6);
    EXPECT_NEAR(p.y, 1, 1e-6);

    Matrix4 post = Matrix4::Translation(5, 0, 0);
    post.RotateZ(kPi / 2);
    ExpectMatrixNear(post, m, 0);

    Matrix4 in_place = Matrix4::Translation(5, 0, 0);
    in_place *= Matrix4::RotationZ(kPi / 2);
    ExpectMatrixNear(in_place, m, 0);

    Matrix4 out;
    math::Multiply(out, Matrix4::Translation(5, 0, 0), Matrix4::RotationZ(kPi / 2));
    ExpectMatrixNear(out, m, 0);
}

TEST(Matrix4Test, RotationXTurnsYTowardZ)
{
    const float theta = 0.3f;
    const Vector4 p = Matrix4::RotationX(theta) * Vector4(0, 1, 0, 0);
    EXPECT_FLOAT_EQ(p.x, 0);
    EXPECT_FLOAT_EQ(p.y, std::cos(theta));
    EXPECT_FLOAT_EQ(p.z, std::sin(theta));
}

TEST(Matrix4Test, RotationsYAndZElements)
{
    const float theta = 0.7f;
    const Matrix4 y = Matrix4::RotationY(theta);
    EXPECT_FLOAT_EQ(y[0], std::cos(theta));
    EXPECT_FLOAT_EQ(y[2], -std::sin(theta));
    EXPECT_FLOAT_EQ(y[8], std::sin(theta));
    const Vector4 pz = Matrix4::RotationZ(theta) * Vector4(1, 0, 0, 0);
    EXPECT_FLOAT_EQ(pz.x, std::cos(theta));
    EXPECT_FLOAT_EQ(pz.y, std::sin(theta));
}

TEST(Matrix4Test, PerspectiveSixtyDegrees)
{
    const Matrix4 p = Matrix4::Perspective(60, 1.5f, 0.1f, 10000);
    const double t30 = std::tan(kPi / 6);
    EXPECT_NEAR(p[0], 1 / (1.5 * t30), 1e-5);
    EXPECT_NEAR(p[5], 1 / t30, 1e-5);
    EXPECT_EQ(p[11], -1);
    EXPECT_EQ(p[15], 0);
    EXPECT_EQ(p[8], 0);
    EXPECT_EQ(p[9], 0);
    // Near and far planes land on -1 and +1.
    EXPECT_NEAR(NdcZ(p, Matrix4::Identity(), Vector3(0, 0, -0.1f)), -1, 1e-4);
    EXPECT_NEAR(NdcZ(p, Matrix4::Identity(), Vector3(0, 0, -10000)), 1, 1e-4);
}

TEST(Matrix4Test, FrustumOffCentre)
{
    const Matrix4 f = Matrix4::Frustum(-1, 3, -2, 2, 1, 11);
    EXPECT_FLOAT_EQ(f[0], 0.5f);
    EXPECT_FLOAT_EQ(f[5], 0.5f);
    EXPECT_FLOAT_EQ(f[8], 0.5f);
    EXPECT_FLOAT_EQ(f[9], 0);
    EXPECT_FLOAT_EQ(f[10], -1.2f);
    EXPECT_FLOAT_EQ(f[14], -2.2f);
}

TEST(Matrix4Test, InverseOfTranslation)
{
    const Matrix4 inv = Matrix4::Translation(1, 2, 3).Inverse();
    EXPECT_EQ(inv[13], -2);
    ExpectMatrixNear(inv, Matrix4::Translation(-1, -2, -3), 0);
}

TEST(Matrix4Test, InverseOfGeneralMatrix)
{
    Matrix4 m = Matrix4::Translation(3, -2, 7);
    m.RotateX(0.4f);
    m.RotateY(-1.1f);
    m *= Matrix4::Scale(2.5f);
    const Matrix4 p = Matrix4::Perspective(50, 1.2f, 0.5f, 100);
    const Matrix4 pm = p * m;
    ExpectMatrixNear(pm * pm.Inverse(), Matrix4::Identity(), 1e-5f);
    ExpectMatrixNear(m.Inverse() * m, Matrix4::Identity(), 1e-5f);
}

TEST(Matrix4Test, InverseTransposeIsTransposedInverse)
{
    Matrix4 m = Matrix4::Translation(1, 4, -2);
    m.RotateZ(0.9f);
    const Matrix4 inv = m.Inverse();
    const Matrix4 it = m.InverseTranspose();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(it.At(r, c), inv.At(c, r));
}

TEST(Matrix4Test, InverseTransposeCarriesPlanes)
{
    // The plane y = 0 seen from a camera 5 units above it is y = -5 in view
    // space, i.e. (0, 1, 0, 5).
    const Matrix4 view = Matrix4::Translation(0, -5, 0);
    const Vector4 c = view.InverseTranspose() * Vector4(0, 1, 0, 0);
    EXPECT_EQ(c, Vector4(0, 1, 0, 5));
}

TEST(Matrix4Test, DeterminantAlongBottomRow)
{
    EXPECT_FLOAT_EQ(Matrix4::Scale(2).Determinant(), 8);
    EXPECT_FLOAT_EQ(Matrix4::Translation(4, 5, 6).Determinant(), 1);
    // A projection has a bottom row (0, 0, -1, 0): only the third term counts.
    const Matrix4 f = Matrix4::Frustum(-1, 1, -1, 1, 1, 3);
    EXPECT_FLOAT_EQ(f.Determinant(), f[0] * f[5] * f[14]);
    Matrix4 swap = Matrix4::Identity();
    swap[0] = 0;
    swap[3] = 1;
    swap[12] = 1;
    swap[15] = 0;  // rows 0 and 3 exchanged
    EXPECT_FLOAT_EQ(swap.Determinant(), -1);
}

TEST(Matrix4Test, NegateFlipsAllSixteen)
{
    const Matrix4 m = Matrix4::Translation(1, 2, 3);
    const Matrix4 n = -m;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(n[i], -m[i]);
}

TEST(Matrix4Test, LookAtMirrorsXAndMapsEyeToOrigin)
{
    const Vector3 eye(3, 4, 5), centre(3, 4, -5);
    const Matrix4 v = Matrix4::LookAt(eye, centre, Vector3(0, 1, 0));
    EXPECT_FLOAT_EQ(v.Determinant(), -1);
    const Vector4 e = v * Vector4(eye, 1);
    EXPECT_NEAR(e.x, 0, 1e-6);
    EXPECT_NEAR(e.y, 0, 1e-6);
    EXPECT_NEAR(e.z, 0, 1e-6);
    // The centre lies ahead on -Z.
    const Vector4 c = v * Vector4(centre, 1);
    EXPECT_NEAR(c.z, -10, 1e-5);
    // Looking down -Z, world +X (the viewer's right) ends up on view -X.
    const Vector4 right = v * Vector4(1, 0, 0, 0);
    EXPECT_NEAR(right.x, -1, 1e-6);
    const Vector4 up = v * Vector4(0, 1, 0, 0);
    EXPECT_NEAR(up.y, 1, 1e-6);
}

TEST(Matrix4Test, ReflectionOfWaterPlane)
{
    const Matrix4 r = Matrix4::Reflection(Vector4(0, 1, 0, 0));
    Matrix4 expected = Matrix4::Identity();
    expected[5] = -1;
    ExpectMatrixNear(r, expected, 0);
    const float s = std::sqrt(0.5f);
    const Vector4 p = Matrix4::Reflection(Vector4(s, s, 0, 0)) * Vector4(1, 0, 0, 1);
    EXPECT_NEAR(p.x, 0, 1e-6);
    EXPECT_NEAR(p.y, -1, 1e-6);
}

class ObliqueClipTest : public ::testing::Test {
protected:
    const Matrix4 projection = Matrix4::Perspective(60, 1.5f, 0.1f, 10000);
    const Vector4 water{0, 1, 0, 0};
};

TEST_F(ObliqueClipTest, PlaneWithZeroViewSpaceWTakesStandardConstruction)
{
    // The eye on the plane: c = (0, 1, 0, 0) in view space.
    const Matrix4 p = ObliqueClip(water, Matrix4::Identity(), projection);
    const float k = 2 / (1 / projection[5]);
    EXPECT_FLOAT_EQ(p[2], 0);
    EXPECT_FLOAT_EQ(p[6], k);
    EXPECT_FLOAT_EQ(p[10], 1);
    EXPECT_FLOAT_EQ(p[14], 0);
    // The other rows are the projection's.
    for (int i : {0, 1, 3, 4, 5, 7, 8, 9, 11, 12, 13, 15})
        EXPECT_EQ(p[i], projection[i]) << "element " << i;
}

TEST_F(ObliqueClipTest, CameraOnNegativeSideUsesStandardConstruction)
{
    // Eye 5 above the water, keeping what is below it (the plane's positive
    // side is -y): the water becomes the near plane.
    const Vector4 below(0, -1, 0, 0);
    const Matrix4 view = Matrix4::LookAt(Vector3(0, 5, 0), Vector3(0, 3, -20), Vector3(0, 1, 0));
    ASSERT_LE((view.InverseTranspose() * below).w, 0);
    const Matrix4 p = ObliqueClip(below, view, projection);

    EXPECT_NEAR(NdcZ(p, view, Vector3(2, 0, -20)), -1, 1e-3);
    EXPECT_NEAR(NdcZ(p, view, Vector3(-3, 0, -40)), -1, 1e-3);
    const float under = NdcZ(p, view, Vector3(0, -1, -20));
    EXPECT_GT(under, -1);
    EXPECT_LT(under, 1);
    EXPECT_LT(NdcZ(p, view, Vector3(0, 1, -20)), -1);
    // x and y are unchanged, so the image does not move.
    for (int i : {0, 1, 4, 5, 8, 9, 12, 13})
        EXPECT_EQ(p[i], projection[i]);
}

TEST_F(ObliqueClipTest, CameraOnKeptSideUsesPlaneFrame)
{
    // Eye 0.05 above the water keeping what is above: c.w > 0. The camera
    // cannot be behind a near plane lying on C, so C becomes the far plane
    // instead; either way what lies beyond it is clipped.
    const Matrix4 view = Matrix4::LookAt(Vector3(0, 0.05f, 0), Vector3(0, 0.05f, -20), Vector3(0, 1, 0));
    ASSERT_GT((view.InverseTranspose() * water).w, 0);
    const Matrix4 p = ObliqueClip(water, view, projection);
    EXPECT_NE(p, projection);

    EXPECT_NEAR(NdcZ(p, view, Vector3(1, 0, -20)), 1, 1e-4);
    EXPECT_NEAR(NdcZ(p, view, Vector3(-2, 0, -40)), 1, 1e-4);
    EXPECT_GT(NdcZ(p, view, Vector3(0, -1, -20)), 1);
    EXPECT_GT(NdcZ(p, view, Vector3(0, -0.01f, -2)), 1);
    // Visible points above the water stay inside and keep their depth order.
    const float near_point = NdcZ(p, view, Vector3(0, 0.5f, -5));
    const float far_point = NdcZ(p, view, Vector3(0, 0.5f, -50));
    EXPECT_GT(near_point, -1);
    EXPECT_LT(near_point, far_point);
    EXPECT_LT(far_point, 1);
}

TEST_F(ObliqueClipTest, EyeJustBelowOffsetPlaneAlsoTakesPlaneFrame)
{
    // The renderer's plane y = -0.1 with the eye 0.05 below the water and
    // pitched up: still on the kept side.
    const Vector4 plane(0, 1, 0, 0.1f);
    const Matrix4 view = Matrix4::RotationX(-0.3f) * Matrix4::Translation(0, 0.05f, 0);
    ASSERT_GT((view.InverseTranspose() * plane).w, 0);
    const Matrix4 p = ObliqueClip(plane, view, projection);
    EXPECT_NEAR(NdcZ(p, view, Vector3(0, -0.1f, -5)), 1, 1e-4);
    EXPECT_GT(NdcZ(p, view, Vector3(0, -0.3f, -5)), 1);
    const float kept = NdcZ(p, view, Vector3(0, 0, -5));
    EXPECT_GT(kept, -1);
    EXPECT_LT(kept, 1);
}

}  // namespace
