#include "math/quat.h"

#include <algorithm>
#include <cmath>

namespace math {

Quat Quat::FromRotationMatrix(const float m[9])
{
    // Mrc = m[3*c + r]
    const float m00 = m[0], m10 = m[1], m20 = m[2];
    const float m01 = m[3], m11 = m[4], m21 = m[5];
    const float m02 = m[6], m12 = m[7], m22 = m[8];
    const float trace = m00 + m11 + m22;
    Quat q;
    if (trace > 0) {
        const float s = 0.5f / std::sqrt(trace + 1);
        q.w = (trace + 1) * s;
        q.x = s * (m21 - m12);
        q.y = s * (m02 - m20);
        q.z = s * (m10 - m01);
    } else if (m00 > m11 && m00 > m22) {
        const float t = m00 - m11 - m22 + 1;
        const float s = 0.5f / std::sqrt(t);
        q.x = t * s;
        q.y = s * (m01 + m10);
        q.z = s * (m02 + m20);
        q.w = s * (m21 - m12);
    } else if (m11 > m22) {
        const float t = m11 - m00 - m22 + 1;
        const float s = 0.5f / std::sqrt(t);
        q.y = t * s;
        q.x = s * (m01 + m10);
        q.z = s * (m12 + m21);
        q.w = s * (m02 - m20);
    } else {
        const float t = m22 - m00 - m11 + 1;
        const float s = 0.5f / std::sqrt(t);
        q.z = t * s;
        q.x = s * (m02 + m20);
        q.y = s * (m12 + m21);
        q.w = s * (m10 - m01);
    }
    return q;
}

Quat Quat::FromRotationMatrix(const Matrix4& m)
{
    const float r[9] = {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
    return FromRotationMatrix(r);
}

Quat Quat::RotationBetween(const Vector3<float>& a, const Vector3<float>& b)
{
    Vector3<float> h = a + b;
    const float h_length = h.Length();
    if (h_length > 0.00001f) {
        h = h / h_length;
        const Vector3<float> v = Cross(a, h);
        return {v.x, v.y, v.z, Dot(a, h)};
    }
    // Opposite vectors: any axis perpendicular to a will do; pick one from
    // the two largest components so the division is well conditioned.
    const float angle = std::acos(std::clamp(Dot(a, b), -1.0f, 1.0f)) * 0.5f;
    Vector3<float> axis;
    if (std::fabs(a.y) <= std::fabs(a.x)) {
        const float length = std::sqrt(a.z * a.z + a.x * a.x);
        axis = {-a.z / length, 0, a.x / length};
    } else {
        const float length = std::sqrt(a.y * a.y + a.z * a.z);
        axis = {0, a.z / length, -a.y / length};
    }
    const float s = std::sin(angle);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle)};
}

void Quat::ToRotationMatrix(float m[9]) const
{
    m[0] = 1 - 2 * (y * y + z * z);
    m[1] = 2 * (x * y + z * w);
    m[2] = 2 * (x * z - y * w);
    m[3] = 2 * (x * y - z * w);
    m[4] = 1 - 2 * (x * x + z * z);
    m[5] = 2 * (y * z + x * w);
    m[6] = 2 * (x * z + y * w);
    m[7] = 2 * (y * z - x * w);
    m[8] = 1 - 2 * (x * x + y * y);
}

void Quat::ToRotationMatrix(Matrix4& m) const
{
    float r[9];
    ToRotationMatrix(r);
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            m.f[4 * c + row] = r[3 * c + row];
}

}  // namespace math
