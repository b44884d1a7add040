#include "viewer/viewer_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FieldCase {
    std::string field;
    double actual;
    double expected;
};

std::vector<FieldCase> initialFields(const ViewerState& s) {
    const CameraPose& p = s.pose;
    const CameraPose& q = s.savedPose;
    return {
        {"eye.x", p.eye.x, 0.0},
        {"eye.y", p.eye.y, -50.0},
        {"eye.z", p.eye.z, 0.0},
        {"target.x", p.target.x, 0.0},
        {"target.y", p.target.y, 0.0},
        {"target.z", p.target.z, 0.0},
        {"viewDir.x", p.viewDir.x, 0.0},
        {"viewDir.y", p.viewDir.y, 0.0},
        {"viewDir.z", p.viewDir.z, 0.0},
        {"lightPos.x", p.lightPos.x, 0.0},
        {"lightPos.y", p.lightPos.y, -50.0},
        {"lightPos.z", p.lightPos.z, 0.0},
        {"lightTarget.x", p.lightTarget.x, 0.0},
        {"lightTarget.y", p.lightTarget.y, 0.0},
        {"lightTarget.z", p.lightTarget.z, 0.0},
        {"savedPose.eye.y", q.eye.y, -50.0},
        {"savedPose.eye.x", q.eye.x, 0.0},
        {"savedPose.eye.z", q.eye.z, 0.0},
        {"savedPose.target.y", q.target.y, 0.0},
        {"savedPose.viewDir.y", q.viewDir.y, 0.0},
        {"savedPose.lightPos.y", q.lightPos.y, -50.0},
        {"savedPose.lightTarget.y", q.lightTarget.y, 0.0},
        {"savedPoseValid", double(s.savedPoseValid), 0},
        {"ambientLevel", s.ambientLevel, 0.0},
        {"directionalLevel", s.directionalLevel, 0.0},
        {"pointLevel", s.pointLevel, 0.0},
        {"spotLevel", s.spotLevel, 0.0},
        {"moveStep", s.moveStep, 2.0},
        {"renderMode", double(s.renderMode), 0},
        {"backgroundColor", double(s.backgroundColor), 0},
        {"meshVertexCount", double(s.meshVertexCount), 0},
        {"meshFaceDataCount", double(s.meshFaceDataCount), 0},
        {"timerId", double(s.timerId), 0},
        {"clientWidth", double(s.clientWidth), 0},
        {"clientHeight", double(s.clientHeight), 0},
        {"rmRoot", double(s.rmRoot != nullptr), 0},
        {"sceneFrame", double(s.sceneFrame != nullptr), 0},
        {"cameraFrame", double(s.cameraFrame != nullptr), 0},
        {"lightFrame", double(s.lightFrame != nullptr), 0},
        {"meshRootA", double(s.meshRootA != nullptr), 0},
        {"meshRootB", double(s.meshRootB != nullptr), 0},
        {"rmClipper", double(s.rmClipper != nullptr), 0},
        {"rmDevice", double(s.rmDevice != nullptr), 0},
        {"rmViewport", double(s.rmViewport != nullptr), 0},
    };
}

bool allZeroBytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

void expectInitial(const ViewerState& s) {
    for (const FieldCase& c : initialFields(s)) {
        EXPECT_EQ(c.actual, c.expected) << c.field;
        EXPECT_EQ(std::signbit(c.actual), std::signbit(c.expected)) << c.field << " sign";
    }
    EXPECT_TRUE(allZeroBytes(s.VertexTable, sizeof s.VertexTable));
    EXPECT_TRUE(allZeroBytes(s.FaceDataTable, sizeof s.FaceDataTable));
    EXPECT_TRUE(allZeroBytes(&s.colorDialog, sizeof s.colorDialog));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(s.customColors[i], 0u) << "customColors[" << i << "]";
}

TEST(ViewerState, GlobalInstanceStartsWithInitialValues) {
    expectInitial(viewerState);
}

TEST(ViewerState, HeapInstanceStartsWithInitialValues) {
    auto s = std::make_unique<ViewerState>();
    expectInitial(*s);
}

TEST(ViewerState, TablesHaveTheirCapacityAndEngineLayout) {
    EXPECT_EQ(sizeof(ViewerState::VertexTable), 300000u * 12u);
    EXPECT_EQ(sizeof(ViewerState::FaceDataTable), 300000u * 4u);
}

TEST(ViewerState, PoseCopyIsBitForBitAcrossAllFifteenValues) {
    CameraPose from;
    // Distinct values, including ones a conversion would disturb.
    double values[15] = {
        1.0 / 3.0, -0.0,  1e308,      4.9e-324,   -7.25, 123456789.123456789,     2.5, -1e-300, 0.1,
        3.0,       -50.0, 1e15 + 0.5, -2.0 / 7.0, 9.75,  std::nextafter(1.0, 2.0)};
    Vec3d* members[5] = {&from.eye, &from.target, &from.viewDir, &from.lightPos, &from.lightTarget};
    for (int m = 0; m < 5; ++m) {
        members[m]->x = values[3 * m];
        members[m]->y = values[3 * m + 1];
        members[m]->z = values[3 * m + 2];
    }
    CameraPose to;
    copyCameraPose(to, from);
    const Vec3d* got[5] = {&to.eye, &to.target, &to.viewDir, &to.lightPos, &to.lightTarget};
    for (int m = 0; m < 5; ++m) {
        const double xyz[3] = {got[m]->x, got[m]->y, got[m]->z};
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(std::memcmp(&xyz[k], &values[3 * m + k], 8), 0) << "member " << m << " " << k;
    }
}

TEST(ViewerState, PoseCopyIntoItsSnapshotLeavesTheSourceAlone) {
    auto s = std::make_unique<ViewerState>();
    s->pose.eye = {1, 2, 3};
    s->pose.viewDir = {3, 4, 5};
    copyCameraPose(s->savedPose, s->pose);
    s->pose.eye.x = 99;
    EXPECT_EQ(s->savedPose.eye.x, 1.0);
    EXPECT_EQ(s->savedPose.viewDir.z, 5.0);
    EXPECT_EQ(s->savedPose.lightPos.y, -50.0);
}

} // namespace
