// Parses the input as a camera key file. What is accepted must hold the
// loader's promises (bounded count, finite values, strictly increasing
// times) and, written out again, must read back unchanged wherever the 15
// decimals of the file can hold the value; the parsed keys are then played
// through the sampler.
#include "math/camera_animation.h"
#include "math/camera_key_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool Finite(const CameraKey& k)
{
    const float values[] = {k.time,          k.tension,       k.continuity,   k.bias,
                            k.position.x,    k.position.y,    k.position.z,   k.orientation.x,
                            k.orientation.y, k.orientation.z, k.orientation.w};
    for (float v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

// A value the file's "%.15f" keeps exactly.
bool Representable(float v)
{
    return v == 0 || std::fabs(v) >= 0.000001f;
}

bool SameWherePrintable(const CameraKey& a, const CameraKey& b)
{
    const float x[] = {a.time,       a.tension,       a.continuity,    a.bias,          a.position.x,   a.position.y,
                       a.position.z, a.orientation.x, a.orientation.y, a.orientation.z, a.orientation.w};
    const float y[] = {b.time,       b.tension,       b.continuity,    b.bias,          b.position.x,   b.position.y,
                       b.position.z, b.orientation.x, b.orientation.y, b.orientation.z, b.orientation.w};
    for (int i = 0; i < 11; ++i)
        if (Representable(x[i]) && x[i] != y[i])
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<CameraKey> keys;
    const CameraKeyStatus status = ParseKeyFile(text, keys);
    if (!status) {
        if (!keys.empty() || status.reason.empty() || status.reason.find('\n') != std::string::npos)
            __builtin_trap();
        return 0;
    }
    if (status.warning.find('\n') != std::string::npos)  // one line, like a reason
        __builtin_trap();
    if (keys.size() != status.count || keys.size() > kMaxCameraKeys)
        __builtin_trap();
    for (size_t i = 0; i < keys.size(); ++i)
        if (!Finite(keys[i]) || (i > 0 && !(keys[i].time > keys[i - 1].time)))
            __builtin_trap();

    std::vector<CameraKey> back;
    if (ParseKeyFile(FormatKeyFile(keys), back)) {
        if (back.size() != keys.size())
            __builtin_trap();
        for (size_t i = 0; i < keys.size(); ++i)
            if (!SameWherePrintable(keys[i], back[i]))
                __builtin_trap();
    } else {
        // Only times too close for 15 decimals may fail to read back.
        bool close = false;
        for (size_t i = 1; i < keys.size(); ++i)
            close = close || keys[i].time - keys[i - 1].time < 0.000001f;
        if (!close)
            __builtin_trap();
    }

    // Play what was read: any keys the loader takes must sample to a view.
    CameraAnimation animation;
    animation.Replace(keys, 0.0);
    if (animation.Play(0.0)) {
        const double end = animation.Duration();
        for (double t : {0.0, end * 0.25, end * 0.5, end, end + 0.5})
            if (!animation.PlaybackView(t))
                __builtin_trap();
    }
    return 0;
}
