// Stand-ins for the GL queries the handler reads, so tests can play contexts
// of any version, with or without glGetStringi, on top of the real one.
#pragma once

#include "gl/gles20.h"

#include <set>
#include <string>
#include <vector>

namespace testsupport {

struct FakeGLQueries {
    // Strings answered for GL_VERSION, GL_SHADING_LANGUAGE_VERSION and
    // GL_EXTENSIONS; null pointers play a context that returns null.
    const char* version = "4.5 (Compatibility Profile) Mesa";
    const char* glsl_version = "4.50";
    const char* extensions = "";
    // Entries served through glGetStringi when it is offered (null entries
    // allowed); glGetIntegerv(GL_NUM_EXTENSIONS) reports their count.
    std::vector<const char*> indexed_extensions;
    bool offer_get_stringi = false;
    // Names the lookup refuses; every other name goes to the real lookup
    // (or to a fake glGetStringi).
    std::set<std::string> unresolved;
    // Every name looked up, in order.
    std::vector<std::string> lookups;
};

// Installs `fake` as the handler's queries until the returned guard dies.
class ScopedFakeGLQueries {
public:
    explicit ScopedFakeGLQueries(FakeGLQueries& fake);
    ~ScopedFakeGLQueries();
    ScopedFakeGLQueries(const ScopedFakeGLQueries&) = delete;
    ScopedFakeGLQueries& operator=(const ScopedFakeGLQueries&) = delete;
};

}  // namespace testsupport
