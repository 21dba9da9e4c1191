#include "platform/gl_lookup.h"

namespace platform {

namespace {
GLLookupFn g_lookup = nullptr;
}

GLProc GetGLProcAddress(const char* name)
{
    return g_lookup ? g_lookup(name) : nullptr;
}

void SetGLLookup(GLLookupFn lookup)
{
    g_lookup = lookup;
}

}  // namespace platform
