#include "viewer/viewer_state.h"

// Dynamically initialised: the small fields get their initial values before
// main, the tables stay in zero-filled static storage.
ViewerState viewerState;

namespace {
void copyVec3d(Vec3d& to, const Vec3d& from) {
    to.x = from.x;
    to.y = from.y;
    to.z = from.z;
}
} // namespace

void copyCameraPose(CameraPose& to, const CameraPose& from) {
    copyVec3d(to.eye, from.eye);
    copyVec3d(to.target, from.target);
    copyVec3d(to.viewDir, from.viewDir);
    copyVec3d(to.lightPos, from.lightPos);
    copyVec3d(to.lightTarget, from.lightTarget);
}
