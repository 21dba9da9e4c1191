#include "math/camera_animation.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

namespace fs = std::filesystem;

namespace {

// A free-camera view: Rz(roll) * Rx(pitch) * Ry(yaw) * T(offset).
Matrix4 View(float yaw, float pitch, float roll, Vector3 offset)
{
    Matrix4 v = Matrix4::Identity();
    v.RotateZ(roll);
    v.RotateX(pitch);
    v.RotateY(yaw);
    return v * Matrix4::Translation(offset);
}

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
}

std::vector<float> Times(const std::vector<CameraKey>& keys)
{
    std::vector<float> times;
    for (const CameraKey& k : keys)
        times.push_back(k.time);
    return times;
}

// "animation.txt" in a scratch directory of its own.
class ScratchFile {
public:
    fs::path Path() const { return m_dir / "animation.txt"; }

private:
    testsupport::ScratchDir m_dir{"anim"};
};

const Matrix4 kViewA = View(0.5f, -0.2f, 0, {3, 2, -5});
const Matrix4 kViewB = View(1.1f, -0.1f, 0.05f, {1, 4, -8});
const Matrix4 kViewC = View(1.9f, 0.2f, 0, {-2, 3, -6});

TEST(CameraAnimation, RecordingFrameCount)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double duration;
        std::optional<unsigned> frames;
    } const cases[] = {
        {0, 0u},
        {-0.0, 0u},
        {1.0, 24u},
        {3.5, 84u},
        {1 / 23.976, 1u},
        {3600, 86314u},
        {86400, 2071527u},  // a whole day is still recorded
        {86400.1, std::nullopt},
        {-7, std::nullopt},
        {1e300, std::nullopt},
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecordingFrameCount(c.duration), c.frames) << c.duration;
}

TEST(CameraAnimation, PushedKeysFollowThePlaybackTime)
{
    CameraAnimation animation;
    EXPECT_EQ(animation.TimeBase(), 0.0);
    EXPECT_EQ(animation.Duration(), 0.0);
    // Three keys pushed 2.0 s and 3.5 s after the first.
    ASSERT_TRUE(animation.PushPose(kViewA, 10.0));
    ASSERT_TRUE(animation.PushPose(kViewB, 12.0));
    const CameraKeyStatus third = animation.PushPose(kViewC, 13.5);
    ASSERT_TRUE(third);
    EXPECT_EQ(third.count, 3u);
    EXPECT_EQ(Times(animation.Keys()), (std::vector<float>{0, 2.0f, 3.5f}));
    EXPECT_EQ(animation.Duration(), 3.5);
    unsigned frames = 0;
    ASSERT_TRUE(animation.RecordingFrames(frames));
    EXPECT_EQ(frames, 84u);
    EXPECT_FALSE(animation.Playing());  // counting the frames starts nothing
    // Keys from the program have zero tension, continuity and bias.
    for (const CameraKey& k : animation.Keys())
        EXPECT_TRUE(k.tension == 0 && k.continuity == 0 && k.bias == 0);
}

TEST(CameraAnimation, KeyPoseOfTheView)
{
    struct Case {
        float yaw, pitch, roll;
        Vector3 offset;
    } const cases[] = {
        {0.5f, -0.2f, 0, {3, 2, -5}},
        {-3.0f, 0, 0, {0, 0, 0}},
        {3.0f, 0.4f, -0.3f, {-10, 1, 7}},
        {2.5f, -1.2f, 2.8f, {1, -3, 2}},
    };
    for (const Case& c : cases) {
        const Matrix4 view = View(c.yaw, c.pitch, c.roll, c.offset);
        const CameraPose pose = PoseOfView(view);
        EXPECT_GE(pose.orientation.w, 0) << c.yaw;  // one sign for every stored key
        EXPECT_NEAR(pose.position.x, c.offset.x, 1e-4f);
        EXPECT_NEAR(pose.position.y, c.offset.y, 1e-4f);
        EXPECT_NEAR(pose.position.z, c.offset.z, 1e-4f);
        ExpectMatrixNear(ViewOfPose(pose), view, 1e-4f);
    }
    // A yaw of -3 gives w < 0 from the matrix; the key holds the same rotation flipped.
    const Quat raw = Quat::FromRotationMatrix(View(-3.0f, 0, 0, {}));
    ASSERT_LT(raw.w, 0);
    const Quat stored = PoseOfView(View(-3.0f, 0, 0, {})).orientation;
    EXPECT_EQ(stored, Quat(-raw.x, -raw.y, -raw.z, -raw.w));
}

TEST(CameraAnimation, KeyTimesKeepIncreasingAfterPlay)
{
    CameraAnimation animation;
    ASSERT_TRUE(animation.PushPose(kViewA, 10.0));
    ASSERT_TRUE(animation.PushPose(kViewB, 15.0));
    ASSERT_TRUE(animation.Play(16.0));  // the caller's playback time restarts at 0 here
    // 3 s after play: 1 s before play plus 3 s after it follow the last key.
    ASSERT_TRUE(animation.PushPose(kViewC, 3.0));
    EXPECT_EQ(Times(animation.Keys()), (std::vector<float>{0, 5, 9}));
    ASSERT_TRUE(animation.Play(4.0));
    ASSERT_TRUE(animation.PushPose(kViewA, 0.5));
    EXPECT_EQ(animation.Keys().back().time, 10.5f);
    unsigned frames = 0;
    ASSERT_TRUE(animation.RecordingFrames(frames));
    EXPECT_EQ(frames, 252u);  // ceil(10.5 * 23.976)
}

TEST(CameraAnimation, KeyTimesKeepIncreasingAfterLoad)
{
    ScratchFile file;
    CameraAnimation saved;
    ASSERT_TRUE(saved.PushPose(kViewA, 100.0));
    ASSERT_TRUE(saved.PushPose(kViewB, 107.0));
    ASSERT_TRUE(saved.Save(file.Path()));

    // A recording started long ago on another time base, then a load.
    CameraAnimation animation;
    ASSERT_TRUE(animation.PushPose(kViewC, 3.0));
    ASSERT_TRUE(animation.PushPose(kViewA, 3.5));
    ASSERT_TRUE(animation.Play(4.0));
    const CameraKeyStatus loaded = animation.Load(file.Path(), 20.0);
    ASSERT_TRUE(loaded) << loaded.reason;
    EXPECT_EQ(loaded.count, 2u);
    EXPECT_FALSE(animation.Playing());
    EXPECT_EQ(animation.Keys(), saved.Keys());
    ASSERT_TRUE(animation.PushPose(kViewC, 21.0));
    EXPECT_EQ(Times(animation.Keys()), (std::vector<float>{0, 7, 8}));
}

TEST(CameraAnimation, PushRefusesATimeThatDoesNotAdvance)
{
    CameraAnimation animation;
    ASSERT_TRUE(animation.PushPose(kViewA, 10.0));
    ASSERT_TRUE(animation.PushPose(kViewC, 10.0 + 1e6));
    struct Case {
        double clock;
        const char* reason;
    } const cases[] = {
        {10.0 + 1e6, "is not after the last key"},
        {9.0, "is not after the last key"},
        {10.01 + 1e6, "is not after the last key"},  // the float time cannot tell them apart
        {std::numeric_limits<double>::quiet_NaN(), "not finite"},
    };
    for (const Case& c : cases) {
        const CameraKeyStatus status = animation.PushPose(kViewB, c.clock);
        EXPECT_FALSE(status) << c.clock;
        EXPECT_NE(status.reason.find(c.reason), std::string::npos) << status.reason;
    }
    EXPECT_EQ(animation.Keys().size(), 2u);
    // Twice at one paused moment: the line says both times and what to do.
    CameraAnimation paused;
    ASSERT_TRUE(paused.PushPose(kViewA, 0.0));
    ASSERT_TRUE(paused.PushPose(kViewB, 12.0));
    EXPECT_EQ(paused.PushPose(kViewC, 12.0).reason,
              "key at 12.00 s is not after the last key at 12.00 s: play on before adding a key");
    Matrix4 broken = kViewB;
    broken[12] = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(animation.PushPose(broken, 11.0 + 1e6));
    EXPECT_TRUE(animation.PushPose(kViewB, 11.0 + 1e6));
}

TEST(CameraAnimation, PlayAndRecordRefuseUnplayableKeys)
{
    CameraKey a, b;
    a.time = 0;
    b.time = 2;
    struct Case {
        std::vector<CameraKey> keys;
        const char* reason;
    } const cases[] = {
        {{}, "at least two keys"},
        {{a}, "at least two keys"},
        {{a, a}, "does not come after"},
        {{b, a}, "does not come after"},
    };
    for (const Case& c : cases) {
        CameraAnimation animation;
        animation.Replace(c.keys, 5.0 + (c.keys.empty() ? 0.0 : double(c.keys.back().time)));
        const CameraKeyStatus played = animation.Play(30.0);
        EXPECT_FALSE(played);
        EXPECT_NE(played.reason.find(c.reason), std::string::npos) << played.reason;
        unsigned frames = 77;
        const CameraKeyStatus recorded = animation.RecordingFrames(frames);
        EXPECT_FALSE(recorded);
        EXPECT_EQ(frames, 77u);
        // The free camera stays in control and nothing else moved.
        EXPECT_FALSE(animation.Playing());
        EXPECT_TRUE(animation.PlaybackKeys().empty());
        EXPECT_EQ(animation.TimeBase(), 5);
        EXPECT_FALSE(animation.PlaybackView(0.5));
    }
    // A span that would need absurdly many frames is not recorded.
    CameraAnimation animation;
    b.time = 1e7f;
    animation.Replace({a, b}, 0.0);
    unsigned frames = 77;
    const CameraKeyStatus status = animation.RecordingFrames(frames);
    EXPECT_FALSE(status);
    EXPECT_NE(status.reason.find("frames"), std::string::npos) << status.reason;
    EXPECT_EQ(frames, 77u);
    EXPECT_FALSE(animation.Playing());
}

TEST(CameraAnimation, PlaybackFollowsTheKeysAndEnds)
{
    CameraAnimation animation;
    ASSERT_TRUE(animation.PushPose(kViewA, 1.0));
    ASSERT_TRUE(animation.PushPose(kViewB, 3.0));
    ASSERT_TRUE(animation.PushPose(kViewC, 4.5));
    ASSERT_TRUE(animation.Play(5.0));
    ASSERT_EQ(animation.PlaybackKeys().size(), 5u);  // both ends doubled
    EXPECT_EQ(animation.PlaybackKeys().front(), animation.Keys().front());
    EXPECT_EQ(animation.PlaybackKeys().back(), animation.Keys().back());

    struct Case {
        double t;
        const Matrix4* view;  // the key's view, where t is a key time
        bool playing_after;
    } const cases[] = {
        {0.0, &kViewA, true}, {1.0, nullptr, true},  {2.0, &kViewB, true},
        {3.5, &kViewC, true}, {3.6, nullptr, false},  // past the end: still the spline's view, then the free camera
    };
    for (const Case& c : cases) {
        const std::optional<Matrix4> view = animation.PlaybackView(c.t);
        ASSERT_TRUE(view) << c.t;
        if (c.view)
            ExpectMatrixNear(*view, *c.view, 1e-4f);
        EXPECT_EQ(animation.Playing(), c.playing_after) << c.t;
    }
    EXPECT_FALSE(animation.PlaybackView(3.7));
    // Between keys the camera is between them too.
    ASSERT_TRUE(animation.Play(0.0));
    const Matrix4 middle = *animation.PlaybackView(1.0);
    const Vector3 eye = PoseOfView(middle).position;
    EXPECT_GT(eye.z, -8.5f);
    EXPECT_LT(eye.z, -4.5f);
}

TEST(CameraAnimation, ResetSaveAndLoad)
{
    ScratchFile file;
    CameraAnimation animation;
    ASSERT_TRUE(animation.PushPose(kViewA, 1.0));
    ASSERT_TRUE(animation.PushPose(kViewB, 2.0));
    ASSERT_TRUE(animation.Play(2.5));

    // Saving with no keys writes a lone zero; loading it empties the keys.
    CameraAnimation empty;
    const CameraKeyStatus saved_empty = empty.Save(file.Path());
    ASSERT_TRUE(saved_empty);
    EXPECT_EQ(saved_empty.count, 0u);

    // A failed load changes nothing, not even playing.
    std::ofstream(file.Path().string() + ".bad") << "3\n0 0 0 0 1 2 3 0 0 0 1\n";
    const CameraKeyStatus refused = animation.Load(file.Path().string() + ".bad", 3.0);
    EXPECT_FALSE(refused);
    EXPECT_EQ(animation.Keys().size(), 2u);
    EXPECT_TRUE(animation.Playing());

    const CameraKeyStatus loaded = animation.Load(file.Path(), 3.0);
    ASSERT_TRUE(loaded) << loaded.reason;
    EXPECT_EQ(loaded.count, 0u);
    EXPECT_TRUE(animation.Keys().empty());
    EXPECT_FALSE(animation.Playing());

    ASSERT_TRUE(animation.PushPose(kViewA, 9.0));
    EXPECT_EQ(animation.Keys().back().time, 0.0f);  // a new recording starts at 0
    ASSERT_TRUE(animation.PushPose(kViewB, 10.0));
    ASSERT_TRUE(animation.Play(10.5));
    animation.Reset();
    EXPECT_FALSE(animation.Playing());
    EXPECT_TRUE(animation.Keys().empty());
    EXPECT_EQ(animation.PlaybackKeys().size(), 4u);  // left for the next play to rebuild
}

}  // namespace
