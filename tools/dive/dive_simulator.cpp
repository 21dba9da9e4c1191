// Simulation steps per time step: true position from the motion, acoustic
// travel time from each buoy with Gaussian timing noise, a noisy depth, then a
// Gauss-Newton fix on ranges and depth starting from the previous fix. Headings
// come afterwards from the fixes' own velocity.
#include "dive_simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

// Progress is reported every so many steps: often enough for slow steps,
// rarely enough to cost nothing for fast ones.
constexpr size_t kReportEvery = 64;

struct Vec {
    double x, y, z;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Length(Vec a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
Vec ToVec(const Vector3& v) { return {v.x, v.y, v.z}; }

// Box-Muller over the 64-bit Mersenne Twister: the same numbers on every
// standard library, unlike std::normal_distribution.
class Gaussian {
public:
    explicit Gaussian(uint64_t seed) : engine(seed) {}
    double Next()
    {
        if (haveSpare) {
            haveSpare = false;
            return spare;
        }
        double u1, u2;
        do {
            u1 = static_cast<double>(engine() >> 11) * 0x1.0p-53;
        } while (u1 <= 0.0);
        u2 = static_cast<double>(engine() >> 11) * 0x1.0p-53;
        double r = std::sqrt(-2.0 * std::log(u1));
        spare = r * std::sin(2.0 * M_PI * u2);
        haveSpare = true;
        return r * std::cos(2.0 * M_PI * u2);
    }

private:
    std::mt19937_64 engine;
    double spare = 0.0;
    bool haveSpare = false;
};

// Solves the 3x3 system a x = b by Cramer's rule; false when singular.
bool Solve3(const double a[3][3], const double b[3], double x[3])
{
    auto det = [](const double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    double d = det(a);
    if (!(std::fabs(d) > 1e-12))
        return false;
    for (int c = 0; c < 3; ++c) {
        double m[3][3];
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                m[r][k] = k == c ? b[r] : a[r][k];
        x[c] = det(m) / d;
    }
    return true;
}

// Least-squares position from ranges to the buoys and a depth, weighted by
// their noise; starts at guess and refines it in place.
void Fix(const std::vector<Vec>& buoys, const std::vector<double>& ranges, double depth, double rangeSigma,
         double depthSigma, Vec& x)
{
    const double wr = 1.0 / (rangeSigma * rangeSigma);
    const double wd = 1.0 / (depthSigma * depthSigma);
    for (int iteration = 0; iteration < 20; ++iteration) {
        double n[3][3] = {};
        double g[3] = {};
        for (size_t i = 0; i < buoys.size(); ++i) {
            Vec d = x - buoys[i];
            double len = Length(d);
            if (len < 1e-9)
                continue;
            double j[3] = {d.x / len, d.y / len, d.z / len};
            double r = len - ranges[i];
            for (int a = 0; a < 3; ++a) {
                g[a] -= wr * j[a] * r;
                for (int b = 0; b < 3; ++b)
                    n[a][b] += wr * j[a] * j[b];
            }
        }
        // Depth is -y: residual -y - depth, derivative (0, -1, 0).
        n[1][1] += wd;
        g[1] -= wd * (-1.0) * (-x.y - depth);
        double step[3];
        if (!Solve3(n, g, step))
            return;
        x.x += step[0];
        x.y += step[1];
        x.z += step[2];
        if (std::fabs(step[0]) + std::fabs(step[1]) + std::fabs(step[2]) < 1e-9)
            return;
    }
}

}  // namespace

SimulationError SimulateDive(DiveManifest& manifest, const DiveSimulationSettings& settings,
                             DiveSimulationResult& result, DiveLoadError& motionError,
                             const SimulationProgress& progress)
{
    result = DiveSimulationResult();
    motionError = DiveLoadError::kNone;
    if (manifest.buoys.size() < kMinSimulatedBuoys)
        return SimulationError::kTooFewBuoys;
    if (manifest.buoys.size() > kMaxSimulatedBuoys)
        return SimulationError::kTooManyBuoys;
    DiveProgress sampling;
    if (progress)
        sampling = [&progress](size_t done, size_t total) { progress("sampling the motion", done, total); };
    motionError = manifest.Sample(result.truth, sampling);
    if (motionError != DiveLoadError::kNone)
        return SimulationError::kMotion;
    result.buoys = manifest.buoys;

    std::vector<Vec> buoys;
    for (const Vector3& b : manifest.buoys)
        buoys.push_back(ToVec(b));
    // A noise of zero still needs a finite weight.
    const double rangeSigma = std::max(settings.range_noise, 1e-4);
    const double depthSigma = std::max(settings.depth_noise, 1e-4);
    const double timingSigma = settings.range_noise / kSoundSpeed;

    Gaussian noise(settings.seed);
    std::vector<double> ranges(buoys.size());
    Vec x{0, 0, 0};
    for (const Vec& b : buoys) {
        x.x += b.x / static_cast<double>(buoys.size());
        x.z += b.z / static_cast<double>(buoys.size());
    }
    double sumSquares = 0.0;
    for (size_t k = 0; k < result.truth.size(); ++k) {
        Vec p = ToVec(result.truth[k]);
        for (size_t i = 0; i < buoys.size(); ++i) {
            double travel = Length(p - buoys[i]) / kSoundSpeed + timingSigma * noise.Next();
            ranges[i] = travel * kSoundSpeed;
        }
        double depth = -p.y + settings.depth_noise * noise.Next();
        if (k == 0)
            x.y = -depth;
        Fix(buoys, ranges, depth, rangeSigma, depthSigma, x);
        result.fixes.emplace_back(static_cast<float>(x.x), static_cast<float>(x.y), static_cast<float>(x.z));
        double e = Length(x - p);
        sumSquares += e * e;
        result.max_error = std::max(result.max_error, e);
        if (progress && (k + 1) % kReportEvery == 0)
            progress("fixing positions", k + 1, result.truth.size());
    }
    if (!result.truth.empty())
        result.rms_error = std::sqrt(sumSquares / static_cast<double>(result.truth.size()));

    // Heading: the fixes' velocity over a few steps each way, which steadies it
    // against the scatter of single fixes.
    const size_t window = 3;
    const size_t n = result.fixes.size();
    for (size_t k = 0; k < n; ++k) {
        size_t a = k >= window ? k - window : 0;
        size_t b = std::min(k + window, n - 1);
        result.headings.push_back(math::Normalise(result.fixes[b] - result.fixes[a]));
    }
    return SimulationError::kNone;
}

bool WriteSolution(std::FILE* out, const DiveSimulationResult& result, bool swap_y_z,
                   const SimulationProgress& progress)
{
    auto axes = [swap_y_z](Vector3 v) {
        if (swap_y_z)
            std::swap(v.y, v.z);
        return v;
    };
    // Six floats of up to 39 digits and their fractions still fit.
    char line[512];
    auto put = [&line, out](int n) {
        return n > 0 && static_cast<size_t>(n) < sizeof line &&
               std::fwrite(line, 1, static_cast<size_t>(n), out) == static_cast<size_t>(n);
    };
    for (const Vector3& b : result.buoys) {
        Vector3 v = axes(b);
        if (!put(std::snprintf(line, sizeof line, "%.4f %.4f %.4f\n", v.x, v.y, v.z)))
            return false;
    }
    for (size_t k = 0; k < result.fixes.size(); ++k) {
        Vector3 p = axes(result.fixes[k]);
        Vector3 d = axes(result.headings[k]);
        if (!put(std::snprintf(line, sizeof line, "%.4f %.4f %.4f %.5f %.5f %.5f\n", p.x, p.y, p.z, d.x, d.y, d.z)))
            return false;
        if (progress && (k + 1) % kReportEvery == 0)
            progress("writing the solution", k + 1, result.fixes.size());
    }
    return true;
}
