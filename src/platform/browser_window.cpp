// The program's one window in the web page: the page's canvas, a WebGL 1
// context on it, its keyboard and mouse events and the browser's animation
// frames as the main loop.
//
// The callbacks get what GLUT would give them: characters for keys that
// have one, kSpecialKeyHome for Home, canvas pixels for the mouse, motion
// only while a button is held, and a reshape before the first display and
// whenever the page resizes the canvas.
#include "platform/window.h"

#include "platform/gl_lookup.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Looks names up as a desktop program asks for them (ARB and EXT names too).
extern "C" void* emscripten_GetProcAddress(const char* name);

namespace platform {

namespace {

constexpr const char* kCanvas = "#canvas";

WindowCallbacks g_callbacks;
int g_width = 0, g_height = 0;  // the canvas size the last reshape reported
int g_buttons_down = 0;         // mouse buttons held, so motion is reported as a drag

// The desktop's shader-object names that WebGL knows by their ES names
// only; the lookup drops ARB and EXT suffixes by itself.
constexpr struct {
    const char* desktop;
    const char* es;
} kObjectNames[] = {
    {"glAttachObjectARB", "glAttachShader"},       {"glCreateProgramObjectARB", "glCreateProgram"},
    {"glCreateShaderObjectARB", "glCreateShader"}, {"glDeleteObjectARB", "glDeleteShader"},
    {"glDetachObjectARB", "glDetachShader"},       {"glGetAttachedObjectsARB", "glGetAttachedShaders"},
    {"glGetObjectParameterivARB", "glGetProgramiv"}, {"glGetInfoLogARB", "glGetProgramInfoLog"},
    {"glUseProgramObjectARB", "glUseProgram"},
};

GLProc BrowserLookup(const char* name)
{
    for (const auto& names : kObjectNames)
        if (std::strcmp(name, names.desktop) == 0)
            name = names.es;
    return reinterpret_cast<GLProc>(emscripten_GetProcAddress(name));
}

void ReshapeIfResized()
{
    int width = 0, height = 0;
    emscripten_get_canvas_element_size(kCanvas, &width, &height);
    if (width == g_width && height == g_height)
        return;
    g_width = width;
    g_height = height;
    if (g_callbacks.reshape)
        g_callbacks.reshape(width, height);
}

EM_BOOL OnKeyDown(int, const EmscriptenKeyboardEvent* event, void*)
{
    // The browser's own shortcuts stay the browser's.
    if (event->ctrlKey || event->altKey || event->metaKey)
        return EM_FALSE;
    const char* key = event->key;
    const unsigned char first = static_cast<unsigned char>(key[0]);
    if (first != 0 && first < 0x80 && key[1] == '\0') {
        if (g_callbacks.keyboard)
            g_callbacks.keyboard(first, 0, 0);
        return EM_TRUE;
    }
    if (std::strcmp(key, "Home") == 0) {
        if (g_callbacks.special)
            g_callbacks.special(kSpecialKeyHome, 0, 0);
        return EM_TRUE;
    }
    // Esc, which ends the desktop program, has nothing to end in a page.
    return EM_FALSE;
}

EM_BOOL OnMouseButton(int type, const EmscriptenMouseEvent* event, void*)
{
    const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
    if (event->button > kRightButton)  // back, forward and the like steer nothing
        return EM_FALSE;
    const int bit = 1 << event->button;
    // A release outside the canvas ends a drag that began on it, and only that.
    if (!down && !(g_buttons_down & bit))
        return EM_FALSE;
    g_buttons_down = down ? (g_buttons_down | bit) : (g_buttons_down & ~bit);
    if (g_callbacks.mouse)
        g_callbacks.mouse(event->button, down ? kButtonDown : kButtonUp, int(event->targetX), int(event->targetY));
    return EM_TRUE;
}

EM_BOOL OnMouseMove(int, const EmscriptenMouseEvent* event, void*)
{
    if (!g_buttons_down || !g_callbacks.motion)
        return EM_FALSE;
    g_callbacks.motion(int(event->targetX), int(event->targetY));
    return EM_TRUE;
}

void Frame()
{
    ReshapeIfResized();
    if (g_callbacks.display)
        g_callbacks.display();
}

}  // namespace

void Window_Init(int*, char**) {}

void Window_Create(const char*, int, int, int, int)
{
    // The page sizes the canvas (to the window, or as its URL asks).
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;  // opaque, as a window
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.majorVersion = 1;
    attributes.minorVersion = 0;
    attributes.enableExtensionsByDefault = EM_TRUE;  // 32-bit indices, vertex-array objects
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(kCanvas, &attributes);
    if (context <= 0 || emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        std::fprintf(stderr, "error: this browser gives the page no WebGL 1 context\n");
        std::exit(EXIT_FAILURE);
    }
    // The shaders' fwidth(), an extension in WebGL 1.
    emscripten_webgl_enable_extension(context, "OES_standard_derivatives");
    SetGLLookup(&BrowserLookup);
}

void Window_SetCallbacks(const WindowCallbacks& callbacks)
{
    g_callbacks = callbacks;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, &OnKeyDown);
    emscripten_set_mousedown_callback(kCanvas, nullptr, EM_TRUE, &OnMouseButton);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, &OnMouseButton);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, &OnMouseMove);
}

void Window_MainLoop()
{
    // Returns to the browser at once; Frame runs at each animation frame.
    emscripten_set_main_loop(&Frame, 0, EM_TRUE);
}

// The browser shows the canvas when the frame's callback returns.
void Window_SwapBuffers() {}

// Every animation frame draws.
void Window_PostRedisplay() {}

const char* Window_NoFileCapture()
{
    return "not available in the web page: a browser page has no files to write them to and no "
           "worker threads to compress them; the desktop program takes screenshots (p) and recordings (v)";
}

// WebGL draws filled polygons only.
bool Window_SetWireframe(bool)
{
    return false;
}

}  // namespace platform
