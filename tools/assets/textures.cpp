// Clouds, hull and panel textures: each pixel is a function of its
// coordinates only.
#include "textures.h"

#include "noise.h"

#include <algorithm>
#include <cmath>

namespace assets {
namespace {

constexpr double kPi = 3.14159265358979323846;

uint8_t Byte(double v)
{
    return static_cast<uint8_t>(std::lround(Clamp01(v) * 255));
}

struct Rgb {
    double r, g, b;
};
Rgb MixRgb(Rgb a, Rgb b, double t)
{
    return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}

// Coverage of a line of half-width w at distance d, with one pixel of
// antialiasing (`px` is the size of a pixel in d's units).
double Line(double d, double w, double px)
{
    return SmoothStep(w + px, w, std::fabs(d));
}

}  // namespace

BitmapPtr RenderClouds(int size)
{
    BitmapPtr bmp(TBitmap::Create(size, size, false, false, 8));
    if (!bmp)
        return nullptr;
    constexpr int kCells = 4;  // lattice cells across the tile at the coarsest octave
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) * kCells / size, v = (y + 0.5) * kCells / size;
            // Lattice periods equal the tile, so opposite edges meet seamlessly.
            const double cover = Fbm(u * 0.5, v * 0.5, 2, kCells / 2, 5);
            const double detail = Fbm(u, v, 7, kCells, 6);
            const double density = SmoothStep(0.02, 0.5, detail + 0.35 * cover);
            const double puff = 0.85 + 0.15 * Fbm(u * 4, v * 4, 3, kCells * 4, 7);
            const double c = density * puff;
            bmp->Row(y)[x] = PackRGBA(Byte(c * 0.97), Byte(c * 0.98), Byte(c), 255);
        }
    return bmp;
}

BitmapPtr RenderHull(int size)
{
    BitmapPtr bmp(TBitmap::Create(size, size, false, false, 8));
    if (!bmp)
        return nullptr;
    // Hull geometry behind the mapping: radius 1, 4.55 long from the bow tip
    // (t = 0) to the end of the stern duct (t = 1); the parallel middle body
    // spans t in [0.22, 0.66], the stern cap ends at 0.879, the duct follows.
    constexpr double kLength = 4.55, kBodyStart = 0.22, kBodyEnd = 0.66, kDuct = 0.885;
    const Rgb yellow{0.96, 0.74, 0.10}, blue{0.08, 0.16, 0.42}, keel{0.24, 0.24, 0.27}, glass{0.06, 0.13, 0.22},
        rim{0.80, 0.80, 0.76}, duct{0.30, 0.31, 0.33};
    const double px_arc = 2 * kPi / size, px_len = kLength / size;
    const double porthole_hgt = 0.25;
    const double porthole_a = std::asin(porthole_hgt) / (2 * kPi);  // angle above the side centre, in turns
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double s = (x + 0.5) / size, t = (y + 0.5) / size;
            // Height on the hull (1 top, -1 keel): symmetric for port and starboard.
            const double hgt = -std::sin(2 * kPi * s);
            const double along = t * kLength;
            Rgb c = yellow;
            // Keel band, darker below the side stripe.
            c = MixRgb(c, keel, SmoothStep(-0.72, -0.78, hgt));
            // Side stripe from the stern cap forward, ending in a point at the bow.
            const double stripe_mid = -0.27, front = 0.12 * kLength, tip = 0.26 * kLength;
            double half = 0.09 * std::clamp((along - front) / (tip - front), 0.0, 1.0);
            if (t < 0.8 && half > 0)
                c = MixRgb(c, blue, Line(hgt - stripe_mid, half, 2.0 / size));
            // Chevrons on the top of the bow, pointing forward.
            const double top_arc = (s - 0.75) * 2 * kPi;
            for (int k = 0; k < 2; ++k) {
                const double apex = (0.10 + 0.06 * k) * kLength;
                const double d = (along - apex - 0.55 * std::fabs(top_arc)) * 0.87;
                if (std::fabs(top_arc) < 0.55)
                    c = MixRgb(c, blue, Line(d, 0.05, px_len));
            }
            // Panel lines on the middle body: rings and eight longitudinal seams.
            if (t > kBodyStart - 0.01 && t < kBodyEnd + 0.01) {
                double seam = 1;
                for (double ring : {kBodyStart, 0.33, 0.44, 0.55, kBodyEnd})
                    seam = std::min(seam, 1 - 0.45 * Line((t - ring) * kLength, 0.006, px_len));
                const double turn = s * 8 - std::floor(s * 8 + 0.5);
                seam = std::min(seam, 1 - 0.35 * Line(turn * 2 * kPi / 8, 0.005, px_arc));
                c = {c.r * seam, c.g * seam, c.b * seam};
            }
            // Three portholes on each side, forward of the sail.
            for (double side_s : {-porthole_a, 0.5 + porthole_a}) {
                double ds = s - side_s;
                ds -= std::floor(ds + 0.5);
                for (double pt : {0.25, 0.325, 0.40}) {
                    const double da = ds * 2 * kPi, dl = (t - pt) * kLength;
                    const double r = std::sqrt(da * da + dl * dl);
                    const double shine = 0.25 * SmoothStep(0.08, 0.0, std::hypot(da + 0.04, dl + 0.04));
                    const Rgb lens{glass.r + shine, glass.g + shine, glass.b + shine};
                    c = MixRgb(c, rim, SmoothStep(0.15, 0.14, r));
                    c = MixRgb(c, lens, SmoothStep(0.12, 0.11, r));
                }
            }
            // Tinted bow dome at the front tip, with a rim.
            c = MixRgb(c, rim, SmoothStep(0.115, 0.108, t) * SmoothStep(-0.55, -0.45, hgt));
            c = MixRgb(c, glass, SmoothStep(0.105, 0.098, t) * SmoothStep(-0.5, -0.4, hgt));
            // Stern duct.
            c = MixRgb(c, duct, SmoothStep(kDuct - 0.002, kDuct + 0.002, t));
            c = MixRgb(c, rim, Line((t - 0.95) * kLength, 0.02, px_len) * SmoothStep(kDuct, kDuct + 0.01, t));
            // Light weathering.
            const double grime = 1 + 0.05 * Fbm(s * 16, t * 16, 3, 16, 9);
            bmp->Row(y)[x] = PackRGBA(Byte(c.r * grime), Byte(c.g * grime), Byte(c.b * grime), 255);
        }
    return bmp;
}

BitmapPtr RenderPanelBackground(int width, int height)
{
    BitmapPtr bmp(TBitmap::Create(width, height, false, true, 8));
    if (!bmp)
        return nullptr;
    const double margin = height * 0.06, radius = height * 0.16, soft = height * 0.1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Signed distance to a rounded rectangle inset by `margin`.
            const double hx = width * 0.5 - margin - radius, hy = height * 0.5 - margin - radius;
            const double qx = std::fabs(x + 0.5 - width * 0.5) - hx, qy = std::fabs(y + 0.5 - height * 0.5) - hy;
            const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
            const double d = outside + std::min(std::max(qx, qy), 0.0) - radius;
            const double v = (y + 0.5) / height;
            double alpha = 0.72 * SmoothStep(soft * 0.5, -soft, d);
            // A faint lighter edge just inside the border.
            const double edge = Line(d + soft * 0.35, 1.0, 1.5) * 0.35;
            const double r = Mix(0.07, 0.03, v) + edge * 0.35, g = Mix(0.11, 0.06, v) + edge * 0.45,
                         b = Mix(0.16, 0.10, v) + edge * 0.5;
            alpha = std::min(0.85, alpha + edge * 0.2 * (alpha > 0));
            bmp->Row(y)[x] = PackRGBA(Byte(r), Byte(g), Byte(b), Byte(alpha));
        }
    return bmp;
}

}  // namespace assets
