#include "math/matrix4.h"

#include "math/quat.h"

#include <cmath>

namespace math {

Matrix4 Matrix4::Identity()
{
    Matrix4 m;
    m.f[0] = m.f[5] = m.f[10] = m.f[15] = 1;
    return m;
}

Matrix4 Matrix4::Translation(float x, float y, float z)
{
    Matrix4 m = Identity();
    m.f[12] = x;
    m.f[13] = y;
    m.f[14] = z;
    return m;
}

Matrix4 Matrix4::Translation(const Vector3<float>& t)
{
    return Translation(t.x, t.y, t.z);
}

Matrix4 Matrix4::Scale(float s)
{
    Matrix4 m;
    m.f[0] = m.f[5] = m.f[10] = s;
    m.f[15] = 1;
    return m;
}

Matrix4 Matrix4::RotationX(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix4 m = Identity();
    m.f[5] = c;
    m.f[6] = s;
    m.f[9] = -s;
    m.f[10] = c;
    return m;
}

Matrix4 Matrix4::RotationY(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix4 m = Identity();
    m.f[0] = c;
    m.f[2] = -s;
    m.f[8] = s;
    m.f[10] = c;
    return m;
}

Matrix4 Matrix4::RotationZ(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix4 m = Identity();
    m.f[0] = c;
    m.f[1] = s;
    m.f[4] = -s;
    m.f[5] = c;
    return m;
}

Matrix4 Matrix4::Frustum(float left, float right, float bottom, float top, float near_z, float far_z)
{
    Matrix4 m;
    m.f[0] = 2 * near_z / (right - left);
    m.f[5] = 2 * near_z / (top - bottom);
    m.f[8] = (right + left) / (right - left);
    m.f[9] = (top + bottom) / (top - bottom);
    m.f[10] = -(far_z + near_z) / (far_z - near_z);
    m.f[11] = -1;
    m.f[14] = -2 * far_z * near_z / (far_z - near_z);
    return m;
}

Matrix4 Matrix4::Perspective(float fovy_degrees, float aspect, float near_z, float far_z)
{
    // The half-angle tangent is taken in double, as the constant of pi is.
    const double pi = 3.141592653589793;
    const float top = static_cast<float>(near_z * std::tan(fovy_degrees * pi / 180 * 0.5));
    const float right = top * aspect;
    return Frustum(-right, right, -top, top, near_z, far_z);
}

Matrix4 Matrix4::LookAt(const Vector3<float>& eye, const Vector3<float>& centre, const Vector3<float>& up)
{
    const Vector3<float> f = Normalise(centre - eye);
    const Vector3<float> s = Normalise(Cross(up, f));
    const Vector3<float> u = Cross(f, s);
    Matrix4 m;
    m.f[0] = s.x;
    m.f[4] = s.y;
    m.f[8] = s.z;
    m.f[1] = u.x;
    m.f[5] = u.y;
    m.f[9] = u.z;
    m.f[2] = -f.x;
    m.f[6] = -f.y;
    m.f[10] = -f.z;
    m.f[15] = 1;
    m *= Translation(-eye);
    return m;
}

Matrix4 Matrix4::Reflection(const Vector4& plane)
{
    const float n[3] = {plane.x, plane.y, plane.z};
    Matrix4 m = Identity();
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            m.f[4 * c + r] = (r == c ? 1.0f : 0.0f) - 2 * n[r] * n[c];
    return m;
}

void Multiply(Matrix4& out, const Matrix4& a, const Matrix4& b)
{
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            float sum = a.f[r] * b.f[4 * c];
            sum += a.f[4 + r] * b.f[4 * c + 1];
            sum += a.f[8 + r] * b.f[4 * c + 2];
            sum += a.f[12 + r] * b.f[4 * c + 3];
            out.f[4 * c + r] = sum;
        }
    }
}

Matrix4 Matrix4::operator*(const Matrix4& b) const
{
    Matrix4 out;
    Multiply(out, *this, b);
    return out;
}

Matrix4& Matrix4::operator*=(const Matrix4& b)
{
    const Matrix4 a = *this;
    Multiply(*this, a, b);
    return *this;
}

Vector4 Matrix4::operator*(const Vector4& v) const
{
    const float in[4] = {v.x, v.y, v.z, v.w};
    float out[4];
    for (int r = 0; r < 4; ++r) {
        float sum = f[r] * in[0];
        sum += f[4 + r] * in[1];
        sum += f[8 + r] * in[2];
        sum += f[12 + r] * in[3];
        out[r] = sum;
    }
    return {out[0], out[1], out[2], out[3]};
}

void Matrix4::RotateX(float angle)
{
    *this *= RotationX(angle);
}

void Matrix4::RotateY(float angle)
{
    *this *= RotationY(angle);
}

void Matrix4::RotateZ(float angle)
{
    *this *= RotationZ(angle);
}

Matrix4 Matrix4::operator-() const
{
    Matrix4 m = *this;
    m.Negate();
    return m;
}

void Matrix4::Negate()
{
    for (float& e : f)
        e = -e;
}

float Matrix4::Minor(int row, int column) const
{
    float m[3][3];  // [row][column] of the remaining 3 x 3
    for (int r = 0, rr = 0; r < 4; ++r) {
        if (r == row)
            continue;
        for (int c = 0, cc = 0; c < 4; ++c) {
            if (c == column)
                continue;
            m[rr][cc++] = At(r, c);
        }
        ++rr;
    }
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

float Matrix4::Determinant() const
{
    float det = 0;
    for (int c = 0; c < 4; ++c) {
        const float e = At(3, c);
        if (e == 0)
            continue;
        // Cofactor sign (-1)^(3 + c): -, +, -, +.
        const float term = e * Minor(3, c);
        det = (c % 2 == 0) ? det - term : det + term;
    }
    return det;
}

Matrix4 Matrix4::Inverse() const
{
    const float det = Determinant();
    Matrix4 m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float minor = Minor(c, r);
            m.At(r, c) = ((r + c) % 2 == 0 ? minor : -minor) / det;
        }
    }
    return m;
}

Matrix4 Matrix4::InverseTranspose() const
{
    const float det = Determinant();
    Matrix4 m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float minor = Minor(r, c);
            m.At(r, c) = ((r + c) % 2 == 0 ? minor : -minor) / det;
        }
    }
    return m;
}

namespace {

float Sign(float v)
{
    return v > 0 ? 1.0f : (v < 0 ? -1.0f : 0.0f);
}

}  // namespace

Matrix4 ObliqueClip(const Vector4& plane, const Matrix4& view, const Matrix4& projection)
{
    const Matrix4& p = projection;
    const Vector4 c = view.InverseTranspose() * plane;  // the plane in view space

    if (c.w <= 0) {
        // The camera is on the clipped side (or on the plane): replace the
        // third row so the near plane becomes c, the far plane staying put.
        Vector4 q;
        q.x = (Sign(c.x) + p[8]) / p[0];
        q.y = (Sign(c.y) + p[9]) / p[5];
        q.z = -1;
        q.w = (1 + p[10]) / p[14];
        const float k = 2 / (c.x * q.x + c.y * q.y + c.z * q.z + c.w * q.w);
        Matrix4 out = p;
        out[2] = k * c.x;
        out[6] = k * c.y;
        out[10] = k * c.z + 1;
        out[14] = k * c.w;
        return out;
    }

    // The camera is on the kept side (the eye within a hair of the plane): no
    // near plane can lie on c with the camera behind it, so the plane is
    // carried to clip space through its own frame and becomes the far plane;
    // what lies beyond it is still clipped.
    Vector4 cp = plane;
    const float length = Vector3<float>(cp.x, cp.y, cp.z).Length();
    cp = {cp.x / length, cp.y / length, cp.z / length, cp.w / length};
    const Vector3<float> n(cp.x, cp.y, cp.z);

    const Quat rotation = Quat::RotationBetween(Vector3<float>(0, 0, -1), n);
    Matrix4 r;
    rotation.ToRotationMatrix(r);
    r[15] = 1;
    r *= Matrix4::Translation(0, 0, cp.w);

    const Matrix4 k = (p * view) * r;
    const Matrix4 nt = -k.InverseTranspose();
    Vector4 row = nt * Vector4(0, 0, 1, 0);

    // Whole-number part of z, without the undefined float-to-int overflow.
    const float whole = std::trunc(row.z);
    if (whole != 0) {
        const float a = std::fabs(whole);
        row = {row.x / a, row.y / a, row.z / a, row.w / a};
    }
    row.w -= 1;
    if (row.z < 0)
        row = -row;

    Matrix4 m = Matrix4::Identity();
    m[2] = row.x;
    m[6] = row.y;
    m[10] = row.z;
    m[14] = row.w;
    return m * p;
}

}  // namespace math
