#include "app/shell_state.h"

#include "platform/window.h"

#include <cmath>

bool NormalisedCursor(const ShellState& state, int x, int y, float* nx, float* ny)
{
    // A minimised window would give infinite or NaN angles, for good.
    if (state.window_width <= 0 || state.window_height <= 0)
        return false;
    *nx = static_cast<float>(static_cast<double>(x) / state.window_width * 2.0 - 1.0);
    *ny = static_cast<float>(1.0 - static_cast<double>(y) / state.window_height * 2.0);
    return true;
}

void Shell_OnMouse(ShellState& state, int button, int button_state, int x, int y)
{
    if (!NormalisedCursor(state, x, y, &state.last_cursor_x, &state.last_cursor_y))
        return;
    state.drag_button = (button_state == platform::kButtonDown) ? button : -1;
}

void Shell_OnMotion(ShellState& state, int x, int y)
{
    float nx, ny;
    if (!NormalisedCursor(state, x, y, &nx, &ny))
        return;
    if (state.drag_button == platform::kLeftButton) {
        state.yaw += nx - state.last_cursor_x;
        state.pitch += ny - state.last_cursor_y;
    } else if (state.drag_button == platform::kRightButton) {
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
