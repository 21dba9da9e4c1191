// Deterministic noise for the asset generator: an integer hash, value noise
// on a lattice that may wrap (for tileable textures) and fractal sums of it.
// Only integer hashing and double arithmetic, so every run on the same
// platform produces the same values.
#pragma once

#include <cmath>
#include <cstdint>

namespace assets {

inline uint32_t Hash32(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Lattice value in [0, 1] for the integer point (ix, iy).
inline double LatticeValue(int ix, int iy, uint32_t seed)
{
    const uint32_t h = Hash32(static_cast<uint32_t>(ix) * 0x8da6b343U ^
                              Hash32(static_cast<uint32_t>(iy) * 0xd8163841U + seed * 0x9e3779b9U));
    return h / 4294967295.0;
}

// Smooth value noise in [0, 1]. With period > 0 the lattice wraps every
// `period` cells, so the noise repeats with that period in x and y.
inline double ValueNoise(double x, double y, int period, uint32_t seed)
{
    const double fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = x - fx, ty = y - fy;
    const double sx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    const double sy = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    int ix1 = ix + 1, iy1 = iy + 1;
    if (period > 0) {
        ix = ((ix % period) + period) % period;
        iy = ((iy % period) + period) % period;
        ix1 = (ix + 1) % period;
        iy1 = (iy + 1) % period;
    }
    const double a = LatticeValue(ix, iy, seed), b = LatticeValue(ix1, iy, seed);
    const double c = LatticeValue(ix, iy1, seed), d = LatticeValue(ix1, iy1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

// Fractal sum of `octaves` layers of value noise, each of twice the
// frequency and half the amplitude of the one before; about [-1, 1]. A
// positive period doubles along with the frequency, keeping it tileable.
inline double Fbm(double x, double y, int octaves, int period, uint32_t seed)
{
    double sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * (2 * ValueNoise(x, y, period, seed + static_cast<uint32_t>(o) * 101U) - 1);
        norm += amp;
        amp *= 0.5;
        x *= 2;
        y *= 2;
        if (period > 0)
            period *= 2;
    }
    return sum / norm;
}

inline double Clamp01(double v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

inline double SmoothStep(double e0, double e1, double x)
{
    const double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

inline double Mix(double a, double b, double t)
{
    return a + (b - a) * t;
}

}  // namespace assets
