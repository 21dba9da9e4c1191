#include "app/shell_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

namespace {

constexpr int kDown = 0, kUp = 1;
constexpr int kLeft = 0, kMiddle = 1, kRight = 2;

TEST(ShellState, StartsWithTheDocumentedCamera)
{
    ShellState s;
    EXPECT_EQ(s.window_width, 720);
    EXPECT_EQ(s.window_height, 480);
    EXPECT_FLOAT_EQ(s.pitch, -0.2f);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
    EXPECT_EQ(s.camera_offset, Vector3(3.0f, 2.0f, -5.0f));
    EXPECT_EQ(s.drag_button, 0);
    EXPECT_FALSE(s.wireframe);
    EXPECT_EQ(s.application, nullptr);
}

TEST(ShellState, CursorNormalisationSpansMinusOneToOne)
{
    ShellState s;
    float nx, ny;
    NormalisedCursor(s, 0, 0, &nx, &ny);
    EXPECT_FLOAT_EQ(nx, -1.0f);
    EXPECT_FLOAT_EQ(ny, 1.0f);
    NormalisedCursor(s, 720, 480, &nx, &ny);
    EXPECT_FLOAT_EQ(nx, 1.0f);
    EXPECT_FLOAT_EQ(ny, -1.0f);
    NormalisedCursor(s, 360, 120, &nx, &ny);
    EXPECT_FLOAT_EQ(nx, 0.0f);
    EXPECT_FLOAT_EQ(ny, 0.5f);
}

TEST(ShellState, LeftDragTurnsAndFullWidthIsTwoRadians)
{
    ShellState s;
    Shell_OnMouse(s, kLeft, kDown, 0, 240);
    Shell_OnMotion(s, 720, 120);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f + 2.0f);
    EXPECT_FLOAT_EQ(s.pitch, -0.2f + 0.5f);
    EXPECT_FLOAT_EQ(s.roll, 0.0f);
}

TEST(ShellState, RightDragRollsOnly)
{
    ShellState s;
    Shell_OnMouse(s, kRight, kDown, 360, 240);
    Shell_OnMotion(s, 540, 0);
    EXPECT_FLOAT_EQ(s.roll, 0.5f);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
    EXPECT_FLOAT_EQ(s.pitch, -0.2f);
}

TEST(ShellState, ReleasingAnyButtonEndsTheDrag)
{
    ShellState s;
    Shell_OnMouse(s, kLeft, kDown, 100, 100);
    Shell_OnMouse(s, kRight, kDown, 100, 100);
    Shell_OnMouse(s, kRight, kUp, 100, 100);
    EXPECT_EQ(s.drag_button, -1);
    Shell_OnMotion(s, 600, 400);  // left still held: no change
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
    EXPECT_FLOAT_EQ(s.pitch, -0.2f);
    EXPECT_FLOAT_EQ(s.roll, 0.0f);
}

TEST(ShellState, MiddleDragKeepsTheCursorSoTheNextDragDoesNotJump)
{
    ShellState s;
    Shell_OnMouse(s, kMiddle, kDown, 0, 0);
    Shell_OnMotion(s, 700, 400);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
    float nx, ny;
    NormalisedCursor(s, 700, 400, &nx, &ny);
    EXPECT_FLOAT_EQ(s.last_cursor_x, nx);
    EXPECT_FLOAT_EQ(s.last_cursor_y, ny);
    s.drag_button = kLeft;  // as if the left button were now pressed without a move
    Shell_OnMotion(s, 700, 400);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
}

TEST(ShellState, ResizingChangesTheAngleOfTheSamePixelDrag)
{
    ShellState s;
    Shell_OnMouse(s, kLeft, kDown, 0, 0);
    Shell_OnMotion(s, 72, 0);
    const float small_window_turn = s.yaw - 0.5f;
    ShellState t;
    t.window_width = 1440;
    t.window_height = 960;
    Shell_OnMouse(t, kLeft, kDown, 0, 0);
    Shell_OnMotion(t, 72, 0);
    EXPECT_FLOAT_EQ(t.yaw - 0.5f, small_window_turn / 2);
}

TEST(ShellState, MovementKeysFollowTheViewingDirection)
{
    const struct {
        unsigned char key;
        Vector3 moved;  // at yaw 0, pitch 0
    } cases[] = {
        {'w', {0, 0, 0.5f}}, {'s', {0, 0, -0.5f}}, {'a', {0.5f, 0, 0}}, {'d', {-0.5f, 0, 0}},
    };
    for (const auto& c : cases) {
        ShellState s;
        s.yaw = 0.0f;
        s.pitch = 0.0f;
        s.camera_offset = Vector3(0, 0, 0);
        const KeyCommand* command = Shell_DispatchKey(s, c.key);
        ASSERT_NE(command, nullptr) << c.key;
        EXPECT_TRUE(command->redisplay) << c.key;
        EXPECT_NEAR(s.camera_offset.x, c.moved.x, 1e-7) << c.key;
        EXPECT_NEAR(s.camera_offset.y, c.moved.y, 1e-7) << c.key;
        EXPECT_NEAR(s.camera_offset.z, c.moved.z, 1e-7) << c.key;
    }

    ShellState s;
    s.yaw = 0.3f;
    s.pitch = -0.4f;
    s.camera_offset = Vector3(1, 2, 3);
    Shell_DispatchKey(s, 'w');
    EXPECT_EQ(s.camera_offset.x, 1.0f + static_cast<float>(0.5 * (-std::sin(double(0.3f)) * std::cos(double(-0.4f)))));
    EXPECT_EQ(s.camera_offset.y, 2.0f + static_cast<float>(0.5 * std::sin(double(-0.4f))));
}

TEST(ShellState, KeysWithoutACommandChangeNothing)
{
    ShellState s;
    for (int key : {'W', 'A', 'S', 'D', 'F', 'x', ' ', '\0', '\r', '\xff'})
        EXPECT_EQ(Shell_DispatchKey(s, key), nullptr) << int(key);
    EXPECT_EQ(s.camera_offset, Vector3(3.0f, 2.0f, -5.0f));
}

TEST(KeyCommands, OneEntryPerKeyEachListedOnOneUsageLine)
{
    const std::string usage = KeyCommandsUsage();
    std::set<unsigned char> keys;
    for (const KeyCommand& command : KeyCommands()) {
        EXPECT_TRUE(keys.insert(command.key).second) << "key listed twice: " << int(command.key);
        ASSERT_NE(command.run, nullptr);
        const std::string description = command.description;
        EXPECT_FALSE(description.empty());
        EXPECT_EQ(description.find('\n'), std::string::npos);
        const std::string name = command.key == 27 ? "Esc" : std::string(1, static_cast<char>(command.key));
        EXPECT_NE(usage.find("  " + name + std::string(5 - name.size(), ' ') + description + "\n"),
                  std::string::npos)
            << usage;
    }
    EXPECT_EQ(static_cast<size_t>(std::count(usage.begin(), usage.end(), '\n')), KeyCommands().size());
    for (int key : {'\x1b', 'w', 'a', 's', 'd'})
        EXPECT_EQ(keys.count(key), 1u) << int(key);
}

TEST(ShellState, MovingForwardBringsTheEyeTowardsWhatItLooksAt)
{
    // A point straight ahead of the eye sits on the view's -Z axis; after w
    // its view-space z must be 0.5 closer to zero.
    ShellState s;
    s.roll = 0.25f;
    const Matrix4 before = FreeCameraView(s);
    const Matrix4 inverse = before.Inverse();
    const Vector4 ahead = inverse * Vector4(0, 0, -10, 1);
    Shell_DispatchKey(s, 'w');
    const Vector4 seen = FreeCameraView(s) * ahead;
    EXPECT_NEAR(seen.z, -9.5f, 1e-4);
    EXPECT_NEAR(seen.x, 0.0f, 1e-4);
    EXPECT_NEAR(seen.y, 0.0f, 1e-4);
}

TEST(ShellState, FreeCameraViewComposesRollPitchYawThenOffset)
{
    ShellState s;
    s.roll = 0.1f;
    Matrix4 expected = Matrix4::RotationZ(0.1f) * Matrix4::RotationX(-0.2f) * Matrix4::RotationY(0.5f) *
                       Matrix4::Translation(3.0f, 2.0f, -5.0f);
    const Matrix4 view = FreeCameraView(s);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(view[i], expected[i], 1e-6) << i;
}

TEST(KeyCommands, CameraKeyCommandsWaitForTheApplication)
{
    // Before the application exists (or after it is gone) they do nothing.
    ShellState s;
    for (unsigned char key : {'n', 'm', 'j', 'k', 'l'}) {
        const KeyCommand* command = Shell_DispatchKey(s, key);
        ASSERT_NE(command, nullptr) << key;
        EXPECT_FALSE(command->redisplay) << key;
    }
    EXPECT_EQ(s.camera_offset, Vector3(3.0f, 2.0f, -5.0f));
}

}  // namespace
