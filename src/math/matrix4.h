// 4 x 4 float matrix in OpenGL's conventions, and the renderer's projection
// builders (perspective, frustum, look-at, planar reflection, oblique
// near-plane clipping).
//
// Column-major: the element in row r, column c is at index 4*c + r, the
// translation at 12, 13, 14. Points are column vectors (M * p) and products
// read in OpenGL order, so in A * B the matrix B acts first. The 16 floats
// are contiguous and go to glUniformMatrix4fv as stored (no transpose).
// Angles are radians except the perspective field of view (degrees).
#pragma once

#include "math/vector.h"

namespace math {

struct Matrix4 {
    float f[16] = {};  // column-major elements

    // --- builders ---
    static Matrix4 Identity();
    static Matrix4 Translation(float x, float y, float z);  // identity with [12..14] = x, y, z
    static Matrix4 Translation(const Vector3<float>& t);
    static Matrix4 Scale(float s);                          // diagonal (s, s, s, 1)
    static Matrix4 RotationX(float angle);                  // [5]=cos [6]=sin [9]=-sin [10]=cos
    static Matrix4 RotationY(float angle);                  // [0]=cos [2]=-sin [8]=sin [10]=cos
    static Matrix4 RotationZ(float angle);                  // [0]=cos [1]=sin [4]=-sin [5]=cos
    // The glFrustum matrix.
    static Matrix4 Frustum(float left, float right, float bottom, float top, float near_z, float far_z);
    // Symmetric frustum from a vertical field of view in degrees.
    static Matrix4 Perspective(float fovy_degrees, float aspect, float near_z, float far_z);
    // View matrix looking from eye at centre. The side axis is up x forward,
    // so the result mirrors X (determinant -1); the submarine's placement
    // relies on that.
    static Matrix4 LookAt(const Vector3<float>& eye, const Vector3<float>& centre, const Vector3<float>& up);
    // Mirror across a plane through the origin with unit normal plane.xyz.
    static Matrix4 Reflection(const Vector4& plane);

    // --- element access ---
    float& operator[](int i) { return f[i]; }
    float operator[](int i) const { return f[i]; }
    float& At(int row, int column) { return f[4 * column + row]; }
    float At(int row, int column) const { return f[4 * column + row]; }
    const float* Data() const { return f; }  // for uniform uploads

    // --- products (post-multiplication: M <- M * B) ---
    Matrix4 operator*(const Matrix4& b) const;  // this * b
    Matrix4& operator*=(const Matrix4& b);      // this <- this * b
    Vector4 operator*(const Vector4& v) const;  // this * v
    void RotateX(float angle);                  // this <- this * RotationX(angle)
    void RotateY(float angle);
    void RotateZ(float angle);

    // --- other operations ---
    Matrix4 operator-() const;  // every element negated
    void Negate();              // in place
    // Laplace expansion along the bottom row; zero bottom-row terms skipped.
    float Determinant() const;
    // Adjugate over determinant. No test for a singular matrix: the program
    // inverts only view and view-projection matrices.
    Matrix4 Inverse() const;
    // Transpose of the inverse; carries planes from world to camera or clip space.
    Matrix4 InverseTranspose() const;
    // Determinant of the 3 x 3 matrix left after removing `row` and `column`.
    float Minor(int row, int column) const;

    bool operator==(const Matrix4&) const = default;
};

static_assert(sizeof(Matrix4) == 16 * sizeof(float));

// out = a * b; out must not alias a or b (the value-returning operator* is
// the aliasing-safe form).
void Multiply(Matrix4& out, const Matrix4& a, const Matrix4& b);

// Projection that clips geometry on the negative side of `plane` (given in
// the space `view` acts on): the plane becomes the near plane, or the far
// plane when the camera is on its positive side. Used for the water-surface
// mirror and the view up through the surface.
Matrix4 ObliqueClip(const Vector4& plane, const Matrix4& view, const Matrix4& projection);

}  // namespace math

using Matrix4 = math::Matrix4;
