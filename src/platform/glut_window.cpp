#include "platform/window.h"

#include "platform/gl_lookup.h"

#include <GL/freeglut.h>

namespace platform {

static_assert(kSpecialKeyHome == GLUT_KEY_HOME, "special keys are passed on with GLUT's codes");
static_assert(kLeftButton == GLUT_LEFT_BUTTON && kMiddleButton == GLUT_MIDDLE_BUTTON &&
                  kRightButton == GLUT_RIGHT_BUTTON && kButtonDown == GLUT_DOWN && kButtonUp == GLUT_UP,
              "mouse events are passed on with GLUT's codes");

namespace {

GLProc GlutLookup(const char* name)
{
    return reinterpret_cast<GLProc>(glutGetProcAddress(name));
}

}  // namespace

void Window_Init(int* argc, char** argv)
{
    glutInit(argc, argv);
    // Closing the window ends the program as Esc does.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
}

void Window_Create(const char* title, int width, int height, int x, int y)
{
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    glutInitWindowPosition(x, y);
    glutCreateWindow(title);
    SetGLLookup(&GlutLookup);
}

void Window_SetCallbacks(const WindowCallbacks& callbacks)
{
    glutReshapeFunc(callbacks.reshape);
    glutKeyboardFunc(callbacks.keyboard);
    glutMouseFunc(callbacks.mouse);
    glutMotionFunc(callbacks.motion);
    glutDisplayFunc(callbacks.display);
    glutSpecialFunc(callbacks.special);
}

void Window_MainLoop()
{
    glutMainLoop();
}

void Window_SwapBuffers()
{
    glutSwapBuffers();
}

void Window_PostRedisplay()
{
    glutPostRedisplay();
}

const char* Window_NoFileCapture()
{
    return nullptr;
}

bool Window_SetWireframe(bool lines)
{
    glPolygonMode(GL_FRONT_AND_BACK, lines ? GL_LINE : GL_FILL);
    return true;
}

}  // namespace platform
