// Small vector value types: the 2-, 3- and 4-component float vectors the
// whole program computes with (positions, directions, colours, planes).
//
// Used by the scene objects, the dataset, the mesh library, the camera
// spline and the frame renderer. Plain values without heap storage; every
// operation rounds to float at each step, in the order written, so results
// do not depend on the optimiser. `math::Vector3` is a template over the
// component type; the program only uses it for float, which the global alias
// `Vector3` names. Planes are `Vector4` (a, b, c, d): a point p is on the
// positive side when a*p.x + b*p.y + c*p.z + d > 0.
#pragma once

#include <cmath>

namespace math {

// Two floats; used for texture coordinates and screen positions.
struct Vector2 {
    float x = 0, y = 0;

    constexpr Vector2() = default;
    constexpr Vector2(float x_, float y_) : x(x_), y(y_) {}

    float Length() const { return std::sqrt(x * x + y * y); }  // sqrt(x^2 + y^2)

    constexpr Vector2 operator+(const Vector2& o) const { return {x + o.x, y + o.y}; }
    constexpr Vector2 operator-(const Vector2& o) const { return {x - o.x, y - o.y}; }
    constexpr Vector2 operator*(float s) const { return {x * s, y * s}; }
    constexpr bool operator==(const Vector2&) const = default;
};

// Three components of type T (the program instantiates float only).
template <class T>
struct Vector3 {
    T x = 0, y = 0, z = 0;

    constexpr Vector3() = default;
    constexpr Vector3(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}

    T Length() const { return std::sqrt(x * x + y * y + z * z); }

    // v <- v - w, component-wise.
    constexpr Vector3& operator-=(const Vector3& w)
    {
        x -= w.x;
        y -= w.y;
        z -= w.z;
        return *this;
    }
    constexpr Vector3& operator+=(const Vector3& w)
    {
        x += w.x;
        y += w.y;
        z += w.z;
        return *this;
    }
    constexpr Vector3& operator*=(T s)
    {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }

    constexpr Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vector3 operator-() const { return {-x, -y, -z}; }
    constexpr Vector3 operator*(T s) const { return {x * s, y * s, z * s}; }
    constexpr Vector3 operator/(T s) const { return {x / s, y / s, z / s}; }
    constexpr bool operator==(const Vector3&) const = default;
};

template <class T>
constexpr Vector3<T> operator*(T s, const Vector3<T>& v) { return v * s; }

// (a.y*b.z - a.z*b.y, a.z*b.x - a.x*b.z, a.x*b.y - a.y*b.x)
template <class T>
constexpr Vector3<T> Cross(const Vector3<T>& a, const Vector3<T>& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// a.x*b.x + a.y*b.y + a.z*b.z
template <class T>
constexpr T Dot(const Vector3<T>& a, const Vector3<T>& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// v divided by its length; a zero vector stays zero instead of becoming NaN.
template <class T>
Vector3<T> Normalise(const Vector3<T>& v)
{
    const T length = v.Length();
    if (length == 0)
        return {0, 0, 0};
    return {v.x / length, v.y / length, v.z / length};
}

// Four floats: homogeneous points, colours and planes.
struct Vector4 {
    float x = 0, y = 0, z = 0, w = 0;

    constexpr Vector4() = default;
    constexpr Vector4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    template <class T>
    constexpr Vector4(const Vector3<T>& v, float w_) : x(v.x), y(v.y), z(v.z), w(w_) {}

    constexpr Vector4 operator*(float s) const { return {x * s, y * s, z * s, w * s}; }
    constexpr Vector4 operator-() const { return {-x, -y, -z, -w}; }
    constexpr bool operator==(const Vector4&) const = default;
};

// Where p lies against a plane (a, b, c, d).
enum PlaneSide : int {
    kPlaneFront = 0,  // distance > epsilon
    kPlaneBack = 1,   // distance < -epsilon
    kPlaneOn = 2,     // within epsilon of the plane
};

// Classifies p by d = a*p.x + b*p.y + c*p.z + plane.d against epsilon.
template <class T>
constexpr int SideOfPlane(const Vector4& plane, const Vector3<T>& p, T epsilon)
{
    const T d = plane.x * p.x + plane.y * p.y + plane.z * p.z + plane.w;
    if (d > epsilon)
        return kPlaneFront;
    if (d < -epsilon)
        return kPlaneBack;
    return kPlaneOn;
}

}  // namespace math

// Buffers and key files rely on the plain float layout.
static_assert(sizeof(math::Vector2) == 2 * sizeof(float));
static_assert(sizeof(math::Vector3<float>) == 3 * sizeof(float));
static_assert(sizeof(math::Vector4) == 4 * sizeof(float));

// The program's names for the float vectors.
using Vector2 = math::Vector2;
using Vector3 = math::Vector3<float>;
using Vector4 = math::Vector4;
