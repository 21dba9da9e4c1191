#include "mesh/assemblies.h"

#include "mesh/interior_removal.h"
#include "mesh/primitives.h"
#include "mesh/processing.h"

namespace mesh {

namespace {

constexpr float kHalfPi = 1.5707964f;

Matrix4 T(float x, float y, float z)
{
    return Matrix4::Translation(x, y, z);
}

}  // namespace

bool BuildBuoyMesh(CPolyMesh& mesh)
{
    CPolyMesh ball, stalk;
    if (!MakeIcosphere(ball, 1) || !MakeBox(stalk))
        return false;
    const Matrix4 m = UnitCubeMatrix(ball);
    if (!ball.AppendTransformed(stalk, T(0, -1, 0) * ScaleMatrix(0.2f, 0.5f, 0.2f)))
        return false;
    if (!GenerateTexCoords(ball, kTexCoordSpherical, m) || !Triangulate(ball) || !Weld(ball, true, true, 0.001f))
        return false;
    mesh.Swap(ball);
    return true;
}

bool AssembleSubmersible(CPolyMesh& mesh)
{
    CPolyMesh h, part;
    if (!MakeCylinder(h, 24))
        return false;
    // Capsule: two whole spheres capping the body, then the stern duct.
    if (!MakeUVSphere(part) || !h.AppendTransformed(part, T(0, 1, 0)) || !h.AppendTransformed(part, T(0, -1, 0)))
        return false;
    if (!MakeTube(part, 0.8f) || !h.AppendTransformed(part, T(0, -2.3f, 0) * ScaleMatrix(0.5f, 0.25f, 0.5f)))
        return false;
    // The texture spans hull and duct only.
    const Matrix4 m = UnitCubeMatrix(h);
    Matrix4 sail = T(0, 0, 1);
    sail.RotateX(kHalfPi);
    if (!MakeCylinder(part, 12) || !h.AppendTransformed(part, sail * ScaleMatrix(0.5f, 0.25f, 0.5f)))
        return false;
    Matrix4 mast = T(0.2f, 0.1f, 1.5f);
    mast.RotateX(kHalfPi);
    if (!MakeCylinder(part, 3) || !h.AppendTransformed(part, mast * ScaleMatrix(0.1f, 0.5f, 0.1f)))
        return false;
    if (!MakeBox(part) || !h.AppendTransformed(part, T(0, 0.3f, 0) * ScaleMatrix(1.5f, 0.5f, 0.075f)))
        return false;
    const Matrix4 fin = T(0.6f, -2.3f, 0) * ScaleMatrix(0.15f, 0.25f, 0.05f);
    for (int k = 0; k < 4; ++k)
        if (!h.AppendTransformed(part, Matrix4::RotationY(float(k) * kHalfPi) * fin))
            return false;
    if (!GenerateTexCoords(h, kTexCoordCylindrical, m))
        return false;
    h.Transform(Matrix4::RotationX(kHalfPi));
    mesh.Swap(h);
    return true;
}

bool BuildSubmersibleMesh(CPolyMesh& mesh)
{
    CPolyMesh h;
    if (!AssembleSubmersible(h))
        return false;
    // Degenerate polygons get zero planes, which the removal leaves alone.
    ComputePolygonPlanes(h);
    if (!RemoveInteriorPolygons(h, 0.1f) || !Triangulate(h) || !Weld(h, true, true, 0.001f))
        return false;
    mesh.Swap(h);
    return true;
}

}  // namespace mesh
