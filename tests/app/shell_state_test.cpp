#include "app/key_commands.h"
#include "app/shell_state.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>

namespace {

using platform::kButtonDown;
using platform::kButtonUp;
using platform::kLeftButton;
using platform::kMiddleButton;
using platform::kRightButton;

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
    Shell_OnMouse(s, kLeftButton, kButtonDown, 0, 240);
    Shell_OnMotion(s, 720, 120);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f + 2.0f);
    EXPECT_FLOAT_EQ(s.pitch, -0.2f + 0.5f);
    EXPECT_FLOAT_EQ(s.roll, 0.0f);
}

TEST(ShellState, RightDragRollsOnly)
{
    ShellState s;
    Shell_OnMouse(s, kRightButton, kButtonDown, 360, 240);
    Shell_OnMotion(s, 540, 0);
    EXPECT_FLOAT_EQ(s.roll, 0.5f);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
    EXPECT_FLOAT_EQ(s.pitch, -0.2f);
}

TEST(ShellState, ReleasingAnyButtonEndsTheDrag)
{
    ShellState s;
    Shell_OnMouse(s, kLeftButton, kButtonDown, 100, 100);
    Shell_OnMouse(s, kRightButton, kButtonDown, 100, 100);
    Shell_OnMouse(s, kRightButton, kButtonUp, 100, 100);
    EXPECT_EQ(s.drag_button, -1);
    Shell_OnMotion(s, 600, 400);  // left still held: no change
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
    EXPECT_FLOAT_EQ(s.pitch, -0.2f);
    EXPECT_FLOAT_EQ(s.roll, 0.0f);
}

TEST(ShellState, MiddleDragKeepsTheCursorSoTheNextDragDoesNotJump)
{
    ShellState s;
    Shell_OnMouse(s, kMiddleButton, kButtonDown, 0, 0);
    Shell_OnMotion(s, 700, 400);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
    float nx, ny;
    NormalisedCursor(s, 700, 400, &nx, &ny);
    EXPECT_FLOAT_EQ(s.last_cursor_x, nx);
    EXPECT_FLOAT_EQ(s.last_cursor_y, ny);
    s.drag_button = kLeftButton;  // as if the left button were now pressed without a move
    Shell_OnMotion(s, 700, 400);
    EXPECT_FLOAT_EQ(s.yaw, 0.5f);
}

TEST(ShellState, MouseEventsWhileASideIsZeroChangeNothing)
{
    // A minimised window: a drag then must not leave NaN angles behind once
    // the window comes back.
    for (const auto& [width, height] : {std::pair{720, 0}, std::pair{0, 480}, std::pair{0, 0}}) {
        ShellState s;
        Shell_OnMouse(s, kLeftButton, kButtonDown, 10, 10);
        const ShellState before = s;
        s.window_width = width;
        s.window_height = height;
        Shell_OnMouse(s, kLeftButton, kButtonDown, 100, 100);
        Shell_OnMotion(s, 300, 200);
        Shell_OnMouse(s, kLeftButton, kButtonUp, 300, 200);
        EXPECT_EQ(s.yaw, before.yaw) << width << " x " << height;
        EXPECT_EQ(s.pitch, before.pitch);
        EXPECT_EQ(s.roll, before.roll);
        EXPECT_EQ(s.last_cursor_x, before.last_cursor_x);
        EXPECT_EQ(s.last_cursor_y, before.last_cursor_y);
        EXPECT_EQ(s.drag_button, before.drag_button);
        float nx = 7, ny = 7;
        EXPECT_FALSE(NormalisedCursor(s, 1, 1, &nx, &ny));
        EXPECT_EQ(nx, 7);

        // Back at a real size, the drag turns the camera as before.
        s.window_width = 720;
        s.window_height = 480;
        Shell_OnMotion(s, 370, 10);
        EXPECT_FLOAT_EQ(s.yaw, before.yaw + 1.0f);
        EXPECT_TRUE(std::isfinite(s.pitch));
    }
}

TEST(ShellState, ResizingChangesTheAngleOfTheSamePixelDrag)
{
    ShellState s;
    Shell_OnMouse(s, kLeftButton, kButtonDown, 0, 0);
    Shell_OnMotion(s, 72, 0);
    const float small_window_turn = s.yaw - 0.5f;
    ShellState t;
    t.window_width = 1440;
    t.window_height = 960;
    Shell_OnMouse(t, kLeftButton, kButtonDown, 0, 0);
    Shell_OnMotion(t, 72, 0);
    EXPECT_FLOAT_EQ(t.yaw - 0.5f, small_window_turn / 2);
}

TEST(ShellState, MovementStepsFollowTheViewingDirection)
{
    const struct {
        int forward, left;
        Vector3 moved;  // at yaw 0, pitch 0
    } cases[] = {
        {+1, 0, {0, 0, 0.5f}}, {-1, 0, {0, 0, -0.5f}}, {0, +1, {0.5f, 0, 0}}, {0, -1, {-0.5f, 0, 0}},
    };
    for (const auto& c : cases) {
        ShellState s;
        s.yaw = 0.0f;
        s.pitch = 0.0f;
        s.camera_offset = Vector3(0, 0, 0);
        Shell_Move(s, c.forward, c.left);
        EXPECT_NEAR(s.camera_offset.x, c.moved.x, 1e-7) << c.forward << c.left;
        EXPECT_NEAR(s.camera_offset.y, c.moved.y, 1e-7);
        EXPECT_NEAR(s.camera_offset.z, c.moved.z, 1e-7);
    }
}

TEST(KeyCommands, KeysWithoutACommandHaveNoEntry)
{
    for (int key : {'W', 'A', 'S', 'D', 'F', 'C', 'E', 'x', '{', '<', '\0', '\r', '\xff'})
        EXPECT_EQ(FindKeyCommand(static_cast<unsigned char>(key)), nullptr) << int(key);
    // A special key is not the character of the same code: Home (106) is not j.
    EXPECT_NE(FindKeyCommand('j'), FindKeyCommand(kSpecialKeyBase + 'j'));
    EXPECT_EQ(FindKeyCommand(kSpecialKeyBase + 'a'), nullptr);
}

TEST(KeyCommands, OneEntryPerKeyEachListedOnOneUsageLine)
{
    const std::string usage = KeyCommandsUsage();
    std::set<int> keys;
    for (const KeyCommand& command : KeyCommands()) {
        EXPECT_TRUE(keys.insert(command.key).second) << "key listed twice: " << int(command.key);
        ASSERT_NE(command.run, nullptr);
        const std::string description = command.description;
        EXPECT_FALSE(description.empty());
        EXPECT_EQ(description.find('\n'), std::string::npos);
        const std::string name = KeyName(command.key);
        EXPECT_NE(usage.find("  " + name + std::string(name.size() < 5 ? 5 - name.size() : 1, ' ') + description +
                             "\n"),
                  std::string::npos)
            << usage;
    }
    EXPECT_EQ(static_cast<size_t>(std::count(usage.begin(), usage.end(), '\n')), KeyCommands().size());
    for (int key : {'\x1b', 'w', 'a', 's', 'd', 'n', 'm', 'j', 'k', 'l', 'f', 'p', 'v', ' ', '[', ']', ',', '.', 'c', 'e'})
        EXPECT_EQ(keys.count(key), 1u) << int(key);
    EXPECT_EQ(keys.count(kSpecialKeyBase + 106), 1u) << "Home";
    // The names the usage text gives the keys without a plain character.
    EXPECT_NE(usage.find("  Esc  quit at once\n"), std::string::npos) << usage;
    EXPECT_NE(usage.find("  space pause"), std::string::npos) << usage;
    EXPECT_NE(usage.find("  Home back to playback time 0\n"), std::string::npos) << usage;
    // Only the movement keys change the view themselves.
    for (const KeyCommand& command : KeyCommands())
        EXPECT_EQ(command.redisplay, std::string("wasd").find(char(command.key)) != std::string::npos) << command.key;
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
    Shell_Move(s, +1, 0);
    const Vector4 seen = FreeCameraView(s) * ahead;
    EXPECT_NEAR(seen.z, -9.5f, 1e-4);
    EXPECT_NEAR(seen.x, 0.0f, 1e-4);
    EXPECT_NEAR(seen.y, 0.0f, 1e-4);
}

}  // namespace
