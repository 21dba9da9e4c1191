// Unit quaternion for orientations: the camera keys, the spline and the
// frame renderer's view matrix. Stored (x, y, z, w), vector part first.
#pragma once

#include "math/matrix4.h"
#include "math/vector.h"

namespace math {

struct Quat {
    float x = 0, y = 0, z = 0, w = 1;

    constexpr Quat() = default;
    constexpr Quat(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

    // Shoemake's method on a 3 x 3 column-major rotation (m[3*c + r]). The
    // result is neither renormalised nor sign-fixed.
    static Quat FromRotationMatrix(const float m[9]);
    // Same, from the upper-left 3 x 3 of a Matrix4.
    static Quat FromRotationMatrix(const Matrix4& m);
    // Shortest rotation taking unit vector a onto unit vector b.
    static Quat RotationBetween(const Vector3<float>& a, const Vector3<float>& b);

    // Writes the 3 x 3 column-major rotation matrix.
    void ToRotationMatrix(float m[9]) const;
    // Writes the upper-left 3 x 3 of m; the caller sets the other elements.
    void ToRotationMatrix(Matrix4& m) const;

    constexpr bool operator==(const Quat&) const = default;
};

static_assert(sizeof(Quat) == 4 * sizeof(float));

}  // namespace math

using Quat = math::Quat;
