#include "app/shell_state.h"

#include "app/capture_commands.h"
#include "app/demo_application.h"

#include <cmath>
#include <cstdlib>

ShellState& Shell()
{
    static ShellState state;
    return state;
}

void NormalisedCursor(const ShellState& state, int x, int y, float* nx, float* ny)
{
    *nx = static_cast<float>(static_cast<double>(x) / state.window_width * 2.0 - 1.0);
    *ny = static_cast<float>(1.0 - static_cast<double>(y) / state.window_height * 2.0);
}

void Shell_OnMouse(ShellState& state, int button, int button_state, int x, int y)
{
    NormalisedCursor(state, x, y, &state.last_cursor_x, &state.last_cursor_y);
    state.drag_button = (button_state == 0) ? button : -1;  // 0 is GLUT's "pressed"
}

void Shell_OnMotion(ShellState& state, int x, int y)
{
    float nx, ny;
    NormalisedCursor(state, x, y, &nx, &ny);
    if (state.drag_button == 0) {
        state.yaw += nx - state.last_cursor_x;
        state.pitch += ny - state.last_cursor_y;
    } else if (state.drag_button == 2) {
        state.roll += nx - state.last_cursor_x;
    }
    state.last_cursor_x = nx;
    state.last_cursor_y = ny;
}

void Shell_Move(ShellState& state, int forward, int left)
{
    const double step = 0.5;
    const double yaw = state.yaw, pitch = state.pitch;
    // Forward is the viewing direction of the negated eye position; the
    // angles are taken in double and each component rounded before it is added.
    const Vector3 ahead(static_cast<float>(step * (-std::sin(yaw) * std::cos(pitch))),
                        static_cast<float>(step * std::sin(pitch)),
                        static_cast<float>(step * (std::cos(yaw) * std::cos(pitch))));
    const Vector3 side(static_cast<float>(step * std::cos(yaw)), 0.0f, static_cast<float>(step * std::sin(yaw)));
    if (forward > 0)
        state.camera_offset += ahead;
    else if (forward < 0)
        state.camera_offset -= ahead;
    if (left > 0)
        state.camera_offset += side;
    else if (left < 0)
        state.camera_offset -= side;
}

Matrix4 FreeCameraView(const ShellState& state)
{
    Matrix4 view = Matrix4::Identity();
    view.RotateZ(state.roll);
    view.RotateX(state.pitch);
    view.RotateY(state.yaw);
    view *= Matrix4::Translation(state.camera_offset);
    return view;
}

// ---------------------------------------------------------------------------
// Key commands

namespace {

// Runs a command of the application once there is one.
void OnApplication(ShellState& state, void (DemoApplication::*command)())
{
    if (state.application)
        (state.application->*command)();
}

// Command keys change no view of their own (the window redraws anyway);
// movement keys ask for a redisplay.
constexpr KeyCommand kKeyCommands[] = {
    {27, [](ShellState&) { std::exit(0); }, "quit at once", false},
    {'w', [](ShellState& s) { Shell_Move(s, +1, 0); }, "move the camera forward", true},
    {'s', [](ShellState& s) { Shell_Move(s, -1, 0); }, "move the camera back", true},
    {'a', [](ShellState& s) { Shell_Move(s, 0, +1); }, "move the camera left", true},
    {'d', [](ShellState& s) { Shell_Move(s, 0, -1); }, "move the camera right", true},
    {'n', [](ShellState& s) { OnApplication(s, &DemoApplication::onPushSplinePose); }, "record a camera key", false},
    {'m', [](ShellState& s) { OnApplication(s, &DemoApplication::onPlayAnimation); }, "play the camera keys", false},
    {'j', [](ShellState& s) { OnApplication(s, &DemoApplication::onResetAnimation); }, "forget the camera keys", false},
    {'k', [](ShellState& s) { OnApplication(s, &DemoApplication::onSaveAnimation); }, "save the camera keys", false},
    {'l', [](ShellState& s) { OnApplication(s, &DemoApplication::onLoadAnimation); }, "load the camera keys", false},
    {'f', [](ShellState& s) { Shell_ToggleWireframe(s); }, "toggle wireframe", false},
    {'p', [](ShellState& s) { Shell_Screenshot(s); }, "save a 4096 x 3072 screenshot", false},
    {'v', [](ShellState& s) { Shell_Record(s); }, "record the camera keys as 1280 x 720 frames", false},
};

}  // namespace

std::span<const KeyCommand> KeyCommands()
{
    return kKeyCommands;
}

const KeyCommand* Shell_DispatchKey(ShellState& state, unsigned char key)
{
    for (const KeyCommand& command : kKeyCommands) {
        if (command.key == key) {
            command.run(state);
            return &command;
        }
    }
    return nullptr;
}

std::string KeyCommandsUsage()
{
    std::string text;
    for (const KeyCommand& command : kKeyCommands) {
        const std::string name = command.key == 27 ? "Esc" : std::string(1, static_cast<char>(command.key));
        text += "  " + name + std::string(5 - name.size(), ' ') + command.description + "\n";
    }
    return text;
}
