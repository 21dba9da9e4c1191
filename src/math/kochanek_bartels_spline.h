// Kochanek-Bartels spline of camera poses: positions on a cubic Hermite
// curve, orientations on unit quaternions in logarithm space evaluated with
// squad.
//
// Each key carries its own time, tension, continuity and bias; tangents are
// the Kochanek-Bartels tangents scaled for uneven key spacing in time. The
// first and last keys of an array only serve as neighbours: n keys make
// n - 3 segments, segment i running from key i + 1 to key i + 2. Samplers
// (math/spline_sampler.h) map a time to a segment and a parameter. The camera
// keys (math/camera_animation.h) feed it; the frame renderer samples it.
//
// Sections: key and pose records, tangent weights, segment evaluation
// (position, orientation, derivative). Plain values, no allocation while
// evaluating.
#pragma once

#include "math/quat.h"
#include "math/quat_interpolation.h"
#include "math/vector.h"

#include <cstddef>
#include <vector>

template <class TVector>
class CKochanekBartelsQuatSplineImpl {
public:
    // A pose: where the camera is and how it is turned.
    struct _TyPose {
        TVector position;  // key position
        Quat orientation;  // unit quaternion (x, y, z, w)
    };

    // One key. The field order is the memory order the key list relies on.
    struct _TyPoint {
        using _TyPose = CKochanekBartelsQuatSplineImpl::_TyPose;

        TVector position;      // key position
        Quat orientation;      // unit length
        float time = 0;        // seconds; strictly increasing along the array
        float tension = 0;     // T: 1 stops the curve at the key, 0 is Catmull-Rom-like
        float continuity = 0;  // C
        float bias = 0;        // B

        bool operator==(const _TyPoint&) const = default;
    };

    // The four tangent weights of segment K1 -> K2 (see TangentWeights).
    struct _TyWeights {
        float a1, b1;  // outgoing at K1: previous and next difference
        float a2, b2;  // incoming at K2: previous and next difference
    };

    // Kochanek-Bartels weights for segment k[1] -> k[2], scaled by the time
    // factors 2*(t2 - t1)/(t2 - t0) and 2*(t2 - t1)/(t3 - t1) so that
    // tangents on both sides of a key agree in speed when spacing varies.
    static _TyWeights TangentWeights(const _TyPoint k[4])
    {
        const float span = k[2].time - k[1].time;
        const float f1 = TimeFactor(span, k[2].time - k[0].time);
        const float f2 = TimeFactor(span, k[3].time - k[1].time);
        const float t1 = k[1].tension, c1 = k[1].continuity, b1 = k[1].bias;
        const float t2 = k[2].tension, c2 = k[2].continuity, b2 = k[2].bias;
        _TyWeights w;
        w.a1 = f1 * (1 - t1) * (1 - c1) * (1 + b1) / 2;
        w.b1 = f1 * (1 - t1) * (1 + c1) * (1 - b1) / 2;
        w.a2 = f2 * (1 - t2) * (1 + c2) * (1 + b2) / 2;
        w.b2 = f2 * (1 - t2) * (1 - c2) * (1 - b2) / 2;
        return w;
    }

    // Position tangents of the segment: outgoing at K1, incoming at K2.
    static void PositionTangents(const _TyPoint k[4], const _TyWeights& w, TVector& out1, TVector& in2)
    {
        const TVector d01 = k[1].position - k[0].position;
        const TVector d12 = k[2].position - k[1].position;
        const TVector d23 = k[3].position - k[2].position;
        out1 = d01 * w.a1 + d12 * w.b1;
        in2 = d12 * w.a2 + d23 * w.b2;
    }

    // Pose on segment k[1] -> k[2] at parameter u (0 at K1, 1 at K2; other
    // values extrapolate).
    static void Evaluate(const _TyPoint k[4], float u, _TyPose& pose)
    {
        const _TyWeights w = TangentWeights(k);
        TVector out1, in2;
        PositionTangents(k, w, out1, in2);
        const float u2 = u * u, u3 = u2 * u;
        const float h1 = 2 * u3 - 3 * u2 + 1;
        const float h2 = 3 * u2 - 2 * u3;
        const float h3 = u3 - 2 * u2 + u;
        const float h4 = u3 - u2;
        pose.position = k[1].position * h1 + k[2].position * h2 + out1 * h3 + in2 * h4;
        pose.orientation = Orientation(k, w, u);
    }

    // d(pose)/du. The position uses the derivatives of the Hermite basis;
    // the orientation, whose squad form has no compact derivative, is a
    // central difference of Orientation over a small step in u.
    static void EvaluateDerivative(const _TyPoint k[4], float u, _TyPose& derivative)
    {
        const _TyWeights w = TangentWeights(k);
        TVector out1, in2;
        PositionTangents(k, w, out1, in2);
        const float u2 = u * u;
        const float h1 = 6 * u2 - 6 * u;
        const float h2 = -6 * u2 + 6 * u;
        const float h3 = 3 * u2 - 4 * u + 1;
        const float h4 = 3 * u2 - 2 * u;
        derivative.position = k[1].position * h1 + k[2].position * h2 + out1 * h3 + in2 * h4;

        constexpr float kStep = 1.0f / 512;
        const Quat before = Orientation(k, w, u - kStep);
        Quat after = Orientation(k, w, u + kStep);
        if (math::QuatDot(before, after) < 0)  // same rotation, keep the difference small
            after = math::QuatNegate(after);
        derivative.orientation = math::QuatScale(math::QuatSubtract(after, before), 1 / (2 * kStep));
    }

    // Orientation on the segment: log-space Kochanek-Bartels tangents turned
    // into squad's inner control quaternions.
    static Quat Orientation(const _TyPoint k[4], const _TyWeights& w, float u)
    {
        using math::QuatAdd, math::QuatConjugate, math::QuatExp, math::QuatLog, math::QuatMultiply, math::QuatScale,
            math::QuatSlerp, math::QuatSubtract;
        // Bring each neighbour into the hemisphere of its predecessor so the
        // relative rotations take the short way.
        const Quat q0 = k[0].orientation;
        const Quat q1 = Nearer(k[1].orientation, q0);
        const Quat q2 = Nearer(k[2].orientation, q1);
        const Quat q3 = Nearer(k[3].orientation, q2);

        const Quat l01 = QuatLog(QuatMultiply(QuatConjugate(q0), q1));
        const Quat l12 = QuatLog(QuatMultiply(QuatConjugate(q1), q2));
        const Quat l23 = QuatLog(QuatMultiply(QuatConjugate(q2), q3));
        const Quat tangent_out = QuatAdd(QuatScale(l01, w.a1), QuatScale(l12, w.b1));
        const Quat tangent_in = QuatAdd(QuatScale(l12, w.a2), QuatScale(l23, w.b2));

        const Quat a = QuatMultiply(q1, QuatExp(QuatScale(QuatSubtract(tangent_out, l12), 0.5f)));
        const Quat b = Nearer(QuatMultiply(q2, QuatExp(QuatScale(QuatSubtract(l12, tangent_in), 0.5f))), a);

        // squad between the raw keys, so u = 0 gives exactly K1's quaternion.
        const Quat k2 = Nearer(k[2].orientation, k[1].orientation);
        const Quat s1 = QuatSlerp(k[1].orientation, k2, u);
        const Quat s2 = Nearer(QuatSlerp(a, b, u), s1);
        return QuatSlerp(s1, s2, 2 * u * (1 - u));
    }

private:
    // q, or -q when that lies in the hemisphere of `reference`.
    static Quat Nearer(const Quat& q, const Quat& reference)
    {
        return math::QuatDot(q, reference) < 0 ? math::QuatNegate(q) : q;
    }

    // 2 * span / outer. Keys whose times do not increase would divide by
    // zero or less; they get a zero tangent instead of an infinite one.
    static float TimeFactor(float span, float outer) { return outer > 0 ? 2 * span / outer : 0.0f; }
};

// The spline: keys in increasing time.
template <class TVector>
class CKochanekBartelsQuatSpline : public CKochanekBartelsQuatSplineImpl<TVector> {
public:
    using Impl = CKochanekBartelsQuatSplineImpl<TVector>;
    using _TyPoint = typename Impl::_TyPoint;
    using _TyPose = typename Impl::_TyPose;

    std::vector<_TyPoint> points;  // the keys, first and last only as neighbours
};

// Key files and the sampler rely on 11 plain floats per key.
static_assert(sizeof(CKochanekBartelsQuatSplineImpl<math::Vector3<float>>::_TyPoint) == 11 * sizeof(float));
static_assert(sizeof(CKochanekBartelsQuatSplineImpl<math::Vector3<float>>::_TyPose) == 7 * sizeof(float));
