// nerelle-flight: poses in, camera keys out, and the bundled flight kept in
// step with the poses it is made from.
#include "app/view_state.h"
#include "math/camera_animation.h"
#include "math/camera_key_file.h"

#include "support/tool_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class FlightToolTest : public testsupport::ToolTest {
protected:
    FlightToolTest() : ToolTest(NERELLE_FLIGHT_TOOL) {}

    std::string Write(const std::string& name, const std::string& text)
    {
        std::ofstream(scratch / name) << text;
        return scratch.File(name);
    }
};

// Editing the poses without making the keys again (or the other way round)
// would leave the flight and the golden view of it telling different stories.
TEST_F(FlightToolTest, TheBundledKeysAreWhatTheBundledPosesMake)
{
    const fs::path flights = fs::path(NERELLE_SOURCE_DIR) / "data" / "flights";
    ASSERT_EQ(Run((flights / "demo.poses").string() + " " + scratch.File("demo.txt")), 0) << err;
    const std::string made = ReadFile(scratch / "demo.txt");
    EXPECT_FALSE(made.empty());
    EXPECT_EQ(made, ReadFile(flights / "demo.txt"));
}

// Each key flies the camera exactly where the free camera with that eye, yaw
// and pitch looks, with the pose's spline settings.
TEST_F(FlightToolTest, KeysHoldTheFreeCameraViewOfEachPose)
{
    const std::string poses = Write("poses.txt",
                                    "# a comment line\n"
                                    "0   1 2 3     0.5 0.2\n"
                                    "\n"
                                    "2.5 -4 -6 10  -2.8 -0.7  0.25 -0.5 0.125  # trailing comment\n");
    ASSERT_EQ(Run(poses + " " + scratch.File("keys.txt")), 0) << err;
    std::vector<CameraKey> keys;
    const CameraKeyStatus loaded = LoadKeyFile(scratch / "keys.txt", keys);
    ASSERT_TRUE(loaded) << loaded.reason;
    ASSERT_EQ(keys.size(), 2u);

    struct Expected {
        Vector3 eye;
        float yaw, pitch, time, tension, continuity, bias;
    };
    const Expected expected[2] = {{{1, 2, 3}, 0.5f, 0.2f, 0, 0, 0, 0},
                                  {{-4, -6, 10}, -2.8f, -0.7f, 2.5f, 0.25f, -0.5f, 0.125f}};
    for (size_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const Expected& e = expected[k];
        ViewState shell;
        shell.camera_offset = -e.eye;
        shell.yaw = e.yaw;
        shell.pitch = e.pitch;
        shell.roll = 0;
        const Matrix4 want = FreeCameraView(shell);
        const Matrix4 got = ViewOfPose({keys[k].position, keys[k].orientation});
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(got.f[i], want.f[i], 1e-5f) << "element " << i;
        EXPECT_EQ(keys[k].position, -e.eye);  // the negated eye, exactly
        EXPECT_EQ(keys[k].time, e.time);
        EXPECT_EQ(keys[k].tension, e.tension);
        EXPECT_EQ(keys[k].continuity, e.continuity);
        EXPECT_EQ(keys[k].bias, e.bias);
    }
}

TEST_F(FlightToolTest, ALineOfAnotherShapeIsRefusedWithItsNumberAndNothingIsWritten)
{
    for (const char* bad : {"1 1 2 3 0.5", "1 1 2 3 0.5 0.2 0.1", "1 1 2 3 0.5 0.2 0 0 0 0", "1 1 2 3 0.5 0.2 x"}) {
        SCOPED_TRACE(bad);
        const std::string poses = Write("poses.txt", std::string("0 1 2 3 0.5 0.2\n") + bad + "\n");
        EXPECT_EQ(Run(poses + " " + scratch.File("keys.txt")), 1);
        EXPECT_NE(err.find("error: " + poses + ":2:"), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(scratch / "keys.txt"));
    }
}

TEST_F(FlightToolTest, KeyTimesThatDoNotIncreaseAreRefused)
{
    const std::string poses = Write("poses.txt", "1 0 0 0 0 0\n1 0 1 0 0 0\n");
    EXPECT_EQ(Run(poses + " " + scratch.File("keys.txt")), 1);
    EXPECT_NE(err.find("error: "), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(scratch / "keys.txt"));
}

}  // namespace
