// Quaternion arithmetic for orientation interpolation: the Hamilton product,
// conjugate, logarithm and exponential of unit quaternions, and slerp.
//
// Used by the camera spline, which builds its orientation tangents in
// logarithm space and evaluates them with squad. All float; nothing here
// renormalises or flips hemispheres, callers decide that.
#pragma once

#include "math/quat.h"

#include <algorithm>
#include <cmath>

namespace math {

inline constexpr float kQuatEpsilon = 0.00001f;  // below this sin/angle is treated as zero

constexpr float QuatDot(const Quat& a, const Quat& b)  // 4-component dot product
{
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

constexpr Quat QuatNegate(const Quat& q)
{
    return {-q.x, -q.y, -q.z, -q.w};
}  // same rotation
constexpr Quat QuatConjugate(const Quat& q)
{
    return {-q.x, -q.y, -q.z, q.w};
}  // inverse of a unit q
constexpr Quat QuatAdd(const Quat& a, const Quat& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}
constexpr Quat QuatSubtract(const Quat& a, const Quat& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}
constexpr Quat QuatScale(const Quat& q, float s)
{
    return {q.x * s, q.y * s, q.z * s, q.w * s};
}

// Hamilton product a * b (b rotates first).
constexpr Quat QuatMultiply(const Quat& a, const Quat& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

// Logarithm of a unit quaternion: the rotation axis scaled by half the angle,
// w = 0. Near the identity the vector part is already that, so it is kept.
inline Quat QuatLog(const Quat& q)
{
    Quat r = q;
    if (q.w > -1 && q.w < 1) {
        const float theta = std::acos(q.w);
        const float s = std::sin(theta);
        if (std::fabs(s) > kQuatEpsilon) {
            const float k = theta / s;
            r.x *= k;
            r.y *= k;
            r.z *= k;
        }
    }
    r.w = 0;
    return r;
}

// Exponential of a pure quaternion (w is ignored): inverse of QuatLog.
inline Quat QuatExp(const Quat& v)
{
    const float theta = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    const float s = std::sin(theta);
    Quat r{v.x, v.y, v.z, std::cos(theta)};
    if (std::fabs(s) > kQuatEpsilon) {
        const float k = s / theta;
        r.x *= k;
        r.y *= k;
        r.z *= k;
    }
    return r;
}

// Spherical interpolation from -> to at s. No hemisphere flip: the callers
// flip `to` where they want the short way.
inline Quat QuatSlerp(const Quat& from, const Quat& to, float s)
{
    const float c = std::clamp(QuatDot(from, to), -1.0f, 1.0f);
    const float omega = std::acos(c);
    if (std::fabs(omega) <= kQuatEpsilon)
        return from;
    const float sin_omega = std::sin(omega);
    const float a = std::sin((1 - s) * omega) / sin_omega;
    const float b = std::sin(s * omega) / sin_omega;
    return QuatAdd(QuatScale(from, a), QuatScale(to, b));
}

}  // namespace math
