// The camera key file "animation.txt": a text file holding the key count on
// its first line, then one line per key with 11 numbers separated by spaces:
// time, tension, continuity, bias, position x y z, orientation x y z w.
// Saving writes every number with 15 decimals.
//
// Reading takes what the format's scanf-style reader takes: after the count
// line, the keys' numbers follow one another across any white space, line
// ends included, and text after the counted keys is ignored with a warning.
// It refuses, with a reason, what could hurt: a count over kMaxCameraKeys,
// fewer keys than the count, a number that is not finite, or key times that
// do not strictly increase. A file that ends inside its last key, after at
// least the key's time, has the missing numbers taken as zero, with a
// warning. Input size is bounded, so nothing allocates without bound.
//
// Saving goes through a temporary file next to the target, checks every
// write and the close, and renames over the old file only when all of it
// succeeded, so a full disk never costs the previous keys.
//
// The functions print nothing: they return a status with a one-line reason
// or warning for the caller to show. Plain C++, any thread.
#pragma once

#include "core/status.h"

#include "math/kochanek_bartels_spline.h"
#include "math/vector.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// One camera key: position, orientation, time, tension, continuity, bias.
using CameraKey = CKochanekBartelsQuatSplineImpl<math::Vector3<float>>::_TyPoint;

inline constexpr const char* kCameraKeyFileName = "animation.txt";  // in the working directory
inline constexpr unsigned kMaxCameraKeys = 65536;                   // far beyond any recording
inline constexpr size_t kMaxCameraKeyFileBytes = 64u << 20;         // bounds what a load reads

// Outcome of a key operation. On failure `reason` is one line without a
// prefix or newline, for an "error: " line; a success may carry a
// `warning` of the same form, for a "warning: " line.
struct CameraKeyStatus : Status {
    unsigned count = 0;   // keys saved, loaded or held after the operation
    std::string warning;  // what a load left aside or filled in; empty when nothing

    static CameraKeyStatus Success(unsigned count, std::string warning = {})
    {
        CameraKeyStatus status;
        status.count = count;
        status.warning = std::move(warning);
        return status;
    }
    static CameraKeyStatus Failure(std::string reason)
    {
        CameraKeyStatus status;
        status.ok = false;
        status.reason = std::move(reason);
        return status;
    }
};

// Ok when the key times strictly increase (and are finite); otherwise
// fails naming the first offending key (1-based).
Status CheckKeyTimes(const std::vector<CameraKey>& keys);

// The file's text for `keys`.
std::string FormatKeyFile(const std::vector<CameraKey>& keys);

// Parses a key file's text. On success `keys` holds the keys in file order;
// on failure `keys` is left unchanged.
CameraKeyStatus ParseKeyFile(std::string_view text, std::vector<CameraKey>& keys);

// Reads and parses the file at `path`; `keys` changes only on success.
CameraKeyStatus LoadKeyFile(const std::filesystem::path& path, std::vector<CameraKey>& keys);

// Writes `keys` to `path` through "<path>.tmp". Keys that would not read
// back (times closer than 15 decimals tell apart) are refused. On any
// failure the old file stays as it was and the temporary file is removed.
CameraKeyStatus SaveKeyFile(const std::filesystem::path& path, const std::vector<CameraKey>& keys);
