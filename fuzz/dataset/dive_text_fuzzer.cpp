// Reads a manifest text and a solution text (the input split at its first zero
// byte), samples the motion when it is small, and runs the time queries.
// Also checks the record of ignored solution lines.
#include "dataset/dive_data.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* zero = std::memchr(bytes, 0, size);
    size_t split = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
    std::string manifestText(bytes, split);
    std::string solutionText = split < size ? std::string(bytes + split + 1, size - split - 1) : std::string();

    DiveData dive;
    if (ReadSolutionText(solutionText, dive) != DiveLoadError::kNone)
        return 0;
    // The ignored-line record stays consistent and bounded, and its
    // description shows every control character escaped.
    const IgnoredLines& ignored = dive.ignored_solution_lines;
    if ((ignored.count == 0) != (ignored.first_number == 0) || ignored.first_text.size() > IgnoredLines::kMaxExcerpt ||
        (ignored.first_cut && ignored.first_text.size() != IgnoredLines::kMaxExcerpt))
        __builtin_trap();
    for (char c : DescribeIgnoredLines(ignored))
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            __builtin_trap();
    DiveManifest manifest;
    if (manifest.Read(manifestText) == DiveLoadError::kNone) {
        dive.time = manifest.time;
        dive.dt = manifest.dt;
        dive.manifest_buoys = manifest.buoys;
        // Long motions are valid but would only slow the fuzzer down.
        if ((manifest.time - 1.0) / manifest.dt < 20000.0)
            manifest.Sample(dive.motion_track);
    }
    volatile float sink = 0;
    for (double t : {-1.0, 0.0, 0.7, 3.0, 1e6, 1e300}) {
        sink = sink + dive.SolutionPositionAt(t).x + dive.MotionPositionAt(t).y + dive.SolutionDirectionAt(t).z;
        size_t i, j;
        float f;
        if (dive.Lookup(t, dive.motion_track.size(), i, j, f) &&
            (i >= dive.motion_track.size() || j >= dive.motion_track.size()))
            __builtin_trap();
    }
    (void)sink;
    return 0;
}
