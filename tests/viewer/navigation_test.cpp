// Camera navigation: the six keys on a state record with real engine frames,
// checked on the pose and on where the camera frame ends up.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "platform/retained/retained.h"
#include "platform/retained/testing.h"
#include "viewer/navigation.h"

namespace rt = retained::testing;

namespace {

// A state with a scene frame and a camera frame under it (what navigation uses).
struct Frames {
    std::unique_ptr<ViewerState> state = std::make_unique<ViewerState>();
    std::size_t liveBefore = rt::liveObjectCount();

    explicit Frames(bool withFrames = true) {
        if (!withFrames)
            return;
        ViewerState& s = *state;
        EXPECT_EQ(Direct3DRMCreate(&s.rmRoot), 0);
        EXPECT_EQ(s.rmRoot->CreateFrame(nullptr, &s.sceneFrame), 0);
        EXPECT_EQ(s.rmRoot->CreateFrame(s.sceneFrame, &s.cameraFrame), 0);
    }
    ~Frames() {
        ViewerState& s = *state;
        for (IDirect3DRMFrame* f : {s.cameraFrame, s.sceneFrame})
            if (f)
                f->Release();
        if (s.rmRoot)
            s.rmRoot->Release();
        EXPECT_EQ(rt::liveObjectCount(), liveBefore);
    }
    ViewerState& st() { return *state; }
    void pose(Vec3d eye, Vec3d viewDir, Vec3d target = {}) {
        st().pose.eye = eye;
        st().pose.viewDir = viewDir;
        st().pose.target = target;
    }
};

void expectNear(const Vec3d& v, double x, double y, double z, double tolerance = 1e-9) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void expectSame(const CameraPose& a, const CameraPose& b, double tolerance) {
    for (auto m : {&CameraPose::eye, &CameraPose::target, &CameraPose::viewDir,
                   &CameraPose::lightPos, &CameraPose::lightTarget})
        expectNear(a.*m, (b.*m).x, (b.*m).y, (b.*m).z, tolerance);
}

} // namespace

TEST(Navigation, UpAndDownStepAlongTheFullViewDirection) {
    struct Case {
        Vec3d viewDir;
        WPARAM key;
        Vec3d delta;
    };
    const Case cases[] = {
        {{3, 4, 0}, kKeyUp, {1.2, 1.6, 0}},
        {{3, 4, 0}, kKeyDown, {-1.2, -1.6, 0}},
        {{0, 3, -4}, kKeyUp, {0, 1.2, -1.6}},       // descends as it moves forward
        {{0, 0.003, 0.004}, kKeyUp, {0, 1.2, 1.6}}, // step length whatever |viewDir|
    };
    for (const Case& c : cases) {
        Frames f;
        f.pose({10, -20, 30}, c.viewDir, {7, 8, 9});
        f.st().moveStep = 2.0;
        applyNavigationKey(f.st(), c.key);
        expectNear(f.st().pose.eye, 10 + c.delta.x, -20 + c.delta.y, 30 + c.delta.z);
        expectNear(f.st().pose.viewDir, c.viewDir.x, c.viewDir.y, c.viewDir.z, 0);
        expectNear(f.st().pose.target, 7, 8, 9, 0);
        const D3DVECTOR at = rt::frameWorldPosition(f.st().cameraFrame);
        EXPECT_FLOAT_EQ(at.x, static_cast<float>(f.st().pose.eye.x));
        EXPECT_FLOAT_EQ(at.y, static_cast<float>(f.st().pose.eye.y));
        EXPECT_FLOAT_EQ(at.z, static_cast<float>(f.st().pose.eye.z));
    }
}

TEST(Navigation, PageKeysRaiseAndLowerEyeAndTargetOnly) {
    Frames f;
    f.pose({5, 6, 1}, {1, 2, 3}, {0, 0, 4});
    f.st().moveStep = 2.0;
    applyNavigationKey(f.st(), kKeyPageUp);
    expectNear(f.st().pose.eye, 5, 6, 3, 0);
    expectNear(f.st().pose.target, 0, 0, 6, 0);
    expectNear(f.st().pose.viewDir, 1, 2, 3, 0);
    EXPECT_FLOAT_EQ(rt::frameWorldPosition(f.st().cameraFrame).z, 3.0f);
    applyNavigationKey(f.st(), kKeyPageDown);
    applyNavigationKey(f.st(), kKeyPageDown);
    expectNear(f.st().pose.eye, 5, 6, -1, 0);
    expectNear(f.st().pose.target, 0, 0, 2, 0);
}

TEST(Navigation, TurnsArePureThreeDegreeTurnsAboutTheOrigin) {
    struct Case {
        Vec3d eye, viewDir;
        WPARAM key;
        Vec3d expected;
    };
    const Case cases[] = {
        {{0, 0, 5}, {10, 0, -1}, kKeyRight, {9.986295370692089, 0.523359120770581, -1}},
        {{0, 0, 5}, {10, 0, -1}, kKeyLeft, {9.986295370692089, -0.523359120770581, -1}},
        {{0, -50, 0}, {0, 50, 0}, kKeyRight, {-2.616795603852905, 49.931476853460445, 0}},
        {{0, -50, 0}, {0, 50, 0}, kKeyLeft, {2.616795603852905, 49.931476853460445, 0}},
        // Far from the origin the turn is the same 3 degrees, not a swing.
        {{1000, 1000, 0}, {0, 50, 0}, kKeyRight, {-2.616795603852905, 49.931476853460445, 0}},
        {{-3e6, 2e6, 7}, {10, 0, -1}, kKeyLeft, {9.986295370692089, -0.523359120770581, -1}},
    };
    for (const Case& c : cases) {
        Frames f;
        f.pose(c.eye, c.viewDir, {1, 2, 3});
        applyNavigationKey(f.st(), c.key);
        expectNear(f.st().pose.viewDir, c.expected.x, c.expected.y, c.expected.z, 1e-12);
        expectNear(f.st().pose.eye, c.eye.x, c.eye.y, c.eye.z, 0);
        expectNear(f.st().pose.target, 1, 2, 3, 0);
        // The camera frame looks along the new direction.
        const D3DVECTOR d = rt::frameWorldDirection(f.st().cameraFrame);
        const Vec3d& v = f.st().pose.viewDir;
        const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        EXPECT_NEAR(d.x, v.x / n, 1e-5);
        EXPECT_NEAR(d.y, v.y / n, 1e-5);
        EXPECT_NEAR(d.z, v.z / n, 1e-5);
    }
}

TEST(Navigation, EachKeyIsUndoneByItsOpposite) {
    const std::pair<WPARAM, WPARAM> pairs[] = {
        {kKeyUp, kKeyDown}, {kKeyPageUp, kKeyPageDown}, {kKeyLeft, kKeyRight}};
    for (auto [key, opposite] : pairs) {
        Frames f;
        f.pose({12.5, -40.25, 3}, {-7, 11, 2.5}, {1, 1, 1});
        f.st().moveStep = 3.75;
        const CameraPose before = f.st().pose;
        for (int i = 0; i < 10; ++i)
            applyNavigationKey(f.st(), key);
        for (int i = 0; i < 10; ++i)
            applyNavigationKey(f.st(), opposite);
        expectSame(f.st().pose, before, 1e-9);
    }
}

TEST(Navigation, OtherKeyCodesChangeNothing) {
    // Space, Home, 'W', and the Up code with high bits set (the whole value decides).
    for (WPARAM key :
         {WPARAM{0x20}, WPARAM{0x24}, WPARAM{0x57}, WPARAM{0x126}, (WPARAM{1} << 40) | kKeyUp}) {
        Frames f;
        f.pose({1, 2, 3}, {4, 5, 6}, {7, 8, 9});
        const CameraPose before = f.st().pose;
        applyNavigationKey(f.st(), key);
        expectSame(f.st().pose, before, 0);
    }
}

TEST(Navigation, ZeroViewDirectionMakesUpAndDownMoveNothing) {
    Frames f;
    f.pose({1, 2, 3}, {0, 0, 0});
    applyNavigationKey(f.st(), kKeyUp);
    applyNavigationKey(f.st(), kKeyDown);
    expectNear(f.st().pose.eye, 1, 2, 3, 0);
    // Turning a zero direction keeps it zero; the page keys still work.
    applyNavigationKey(f.st(), kKeyRight);
    expectNear(f.st().pose.viewDir, 0, 0, 0, 0);
    applyNavigationKey(f.st(), kKeyPageUp);
    expectNear(f.st().pose.eye, 1, 2, 5, 0);
}

TEST(Navigation, HugeViewDirectionStillStepsOneMoveStep) {
    Frames f;
    f.pose({0, 0, 0}, {1e300, -1e300, 0});
    f.st().moveStep = 2.0;
    applyNavigationKey(f.st(), kKeyUp);
    expectNear(f.st().pose.eye, std::sqrt(2.0), -std::sqrt(2.0), 0, 1e-12);
    f.pose({0, 0, 0}, {std::numeric_limits<double>::max(), 0, 0});
    applyNavigationKey(f.st(), kKeyDown);
    expectNear(f.st().pose.eye, -2, 0, 0, 1e-12);
}

TEST(Navigation, KeysWithoutFramesUpdateThePoseOnly) {
    Frames f(false);
    f.pose({0, -50, 0}, {0, 50, 0});
    f.st().moveStep = 2.0;
    for (WPARAM key : {kKeyUp, kKeyPageUp, kKeyRight})
        applyNavigationKey(f.st(), key);
    expectNear(f.st().pose.eye, 0, -48, 2);
    expectNear(f.st().pose.viewDir, -2.616795603852905, 49.931476853460445, 0, 1e-12);
}

TEST(Navigation, KeysWithOnlyTheSceneFrameMissingPlaceNothing) {
    Frames f;
    IDirect3DRMFrame* scene = f.st().sceneFrame;
    f.st().sceneFrame = nullptr; // as after a failed build
    f.pose({0, 0, 0}, {1, 0, 0});
    applyNavigationKey(f.st(), kKeyUp);
    EXPECT_FLOAT_EQ(rt::frameWorldPosition(f.st().cameraFrame).x, 0.0f);
    expectNear(f.st().pose.eye, 2, 0, 0);
    f.st().sceneFrame = scene;
}

TEST(Navigation, RotateAboutCentreTurnsFromXTowardY) {
    double px = 2, py = 1;
    rotateAboutCentre(90.0, 1.0, 1.0, px, py);
    EXPECT_NEAR(px, 1.0, 1e-5);
    EXPECT_NEAR(py, 2.0, 1e-5);
    // The new x does not enter the new y.
    px = 5;
    py = 0;
    rotateAboutCentre(3.0, 0.0, 0.0, px, py);
    EXPECT_NEAR(py, 5 * std::sin(3.0 * 3.14159 / 180.0), 1e-15);
}
