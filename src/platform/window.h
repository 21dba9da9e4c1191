// The program's one window: a GLUT (freeglut) window on the desktop
// (glut_window.cpp), the page's canvas in the web build (browser_window.cpp).
//
// The application shell sees only these functions; it never includes a
// windowing header. Everything here runs on the thread that runs the main
// loop, which also owns the window's GL context.
#pragma once

namespace platform {

// The mouse callback's button and state: the program's one set of these
// numbers. They are GLUT's, and the page's mouse events number their
// buttons the same way.
enum MouseButton { kLeftButton = 0, kMiddleButton = 1, kRightButton = 2 };
enum MouseState { kButtonDown = 0, kButtonUp = 1 };
// Keys without a character, as the special callback reports them.
enum SpecialKey { kSpecialKeyHome = 106 };

struct WindowCallbacks {
    void (*reshape)(int width, int height) = nullptr;
    void (*keyboard)(unsigned char key, int x, int y) = nullptr;
    void (*mouse)(int button, int state, int x, int y) = nullptr;  // MouseButton, MouseState
    void (*motion)(int x, int y) = nullptr;
    void (*display)() = nullptr;
    void (*special)(int key, int x, int y) = nullptr;  // keys without a character (SpecialKey)
};

// GLUT initialisation; failures end the process through exit().
void Window_Init(int* argc, char** argv);
// RGBA, double-buffered, with depth; makes the context current and
// registers the window's GL lookup (StartGL, gl/gl_start.h, comes next).
// Failures end the process through exit().
void Window_Create(const char* title, int width, int height, int x, int y);
// Registers reshape, keyboard, mouse, motion and display, in this order,
// then the special keys.
void Window_SetCallbacks(const WindowCallbacks& callbacks);
void Window_MainLoop();
void Window_SwapBuffers();
void Window_PostRedisplay();

// Why this window's program cannot write screenshots and recordings (files
// its user can reach, written by worker threads), or null when it can.
const char* Window_NoFileCapture();
// Draws polygons as lines (true) or filled (false) from now on; false when
// the context cannot draw them as lines.
bool Window_SetWireframe(bool lines);

}  // namespace platform
