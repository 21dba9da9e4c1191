// GL entry-point lookup for whichever context is current.
//
// The window backend (GLUT) and the headless backend (EGL) each register
// their platform lookup when they make a context current; code that loads GL
// entry points beyond 1.1 asks GetGLProcAddress and never sees which backend
// runs. Call only on the thread that has the context current.
#pragma once

namespace platform {

using GLProc = void (*)();
using GLLookupFn = GLProc (*)(const char* name);

// Returns the entry point `name` of the current context's platform, or null
// when no backend is registered or the platform does not know the name.
// Mesa answers with a dispatch stub for almost any gl* name, so a non-null
// result does not prove the context implements the function.
GLProc GetGLProcAddress(const char* name);

// Called by a backend once its context is current.
void SetGLLookup(GLLookupFn lookup);

}  // namespace platform
