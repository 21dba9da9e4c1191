// Spline samplers: map an absolute time onto a segment and a local parameter
// and evaluate the spline there.
//
// A sampler is a small value built on the stack around a key array each time
// a frame samples; it refers to the array without owning it, so the array
// must outlive it and must not be resized while it samples. With fewer than
// four keys there is no segment: sampling writes nothing and returns false.
#pragma once

#include "math/kochanek_bartels_spline.h"

#include <cstddef>
#include <vector>

// Sampler interface over an array of keys of type TPoint.
template <class TPoint>
class CSplineSampler {
public:
    using _TyPoint = TPoint;
    using _TyPose = typename TPoint::_TyPose;

    explicit CSplineSampler(const std::vector<TPoint>& points) : m_points(&points) {}

    virtual bool Sample(_TyPose& pose, float t) const = 0;                  // pose at time t
    virtual bool SampleDerivative(_TyPose& derivative, float t) const = 0;  // d(pose)/du at time t

protected:
    ~CSplineSampler() = default;  // a value on the stack, never deleted through the interface

    const std::vector<TPoint>* m_points;  // not owned
};

// Explicit key times; within a segment the parameter advances uniformly with
// time (no arc-length reparameterisation).
template <class TSpline>
class CSplineSampler_ExplicitTime_UniformStep final : public CSplineSampler<typename TSpline::_TyPoint> {
public:
    using _TyPoint = typename TSpline::_TyPoint;
    using _TyPose = typename TSpline::_TyPose;

    explicit CSplineSampler_ExplicitTime_UniformStep(const std::vector<_TyPoint>& points)
        : CSplineSampler<_TyPoint>(points)
    {}
    explicit CSplineSampler_ExplicitTime_UniformStep(const TSpline& spline) : CSplineSampler<_TyPoint>(spline.points) {}

    bool Sample(_TyPose& pose, float t) const override
    {
        size_t segment;
        float u;
        if (!FindSegment(*this->m_points, t, segment, u))
            return false;
        TSpline::Evaluate(this->m_points->data() + segment, u, pose);
        return true;
    }

    bool SampleDerivative(_TyPose& derivative, float t) const override
    {
        size_t segment;
        float u;
        if (!FindSegment(*this->m_points, t, segment, u))
            return false;
        TSpline::EvaluateDerivative(this->m_points->data() + segment, u, derivative);
        return true;
    }

    // Segment i (keys i .. i + 3) and parameter u for time t. Only the key
    // time differences count: segment 0 starts at t = 0 whatever the second
    // key's time is. Before 0 the first segment is extrapolated with u = t;
    // past the end the last one with u > 1. False with fewer than 4 keys.
    static bool FindSegment(const std::vector<_TyPoint>& points, float t, size_t& segment, float& u)
    {
        const size_t n = points.size();
        if (n < 4)
            return false;
        segment = 0;
        if (t < 0) {
            u = t;
            return true;
        }
        float remaining = t;
        for (size_t i = 0; i + 4 <= n; ++i) {
            const float d = points[i + 2].time - points[i + 1].time;
            if (d >= remaining || i + 4 == n) {
                segment = i;
                // A zero-length segment (keys out of order) would give 0 / 0;
                // its start pose stands in for the undefined parameter.
                u = d > 0 ? remaining / d : 0.0f;
                return true;
            }
            remaining -= d;
        }
        return false;  // unreachable: the last segment always answers
    }
};
