#include "viewer/navigation.h"

#include <cmath>

namespace {

// Every value handed to the engine is narrowed to nearest single precision.
inline D3DVALUE narrow(double v) {
    return static_cast<D3DVALUE>(v);
}

bool framesPresent(const ViewerState& state) {
    return state.sceneFrame != nullptr && state.cameraFrame != nullptr;
}

void placeCamera(ViewerState& state) {
    if (!framesPresent(state))
        return;
    const Vec3d& eye = state.pose.eye;
    state.cameraFrame->SetPosition(state.sceneFrame, narrow(eye.x), narrow(eye.y), narrow(eye.z));
}

// Page Up / Page Down: the camera rises or sinks and keeps looking the same way.
void changeHeight(ViewerState& state, double delta) {
    state.pose.eye.z = state.pose.eye.z + delta;
    state.pose.target.z = state.pose.target.z + delta;
    placeCamera(state);
}

// Left / Right: viewDir turns in the ground plane about the origin, so one
// key press is a pure turn of kTurnDegrees wherever the eye stands.
void turn(ViewerState& state, double degrees) {
    rotateAboutCentre(degrees, 0.0, 0.0, state.pose.viewDir.x, state.pose.viewDir.y);
    applyViewDirection(state);
}

// One component of a step: the product first, then the division; for a
// component so large that the product overflows, the division first.
double stepAlong(double distance, double component, double length) {
    const double product = distance * component;
    if (std::isfinite(product))
        return product / length;
    return distance * (component / length);
}

} // namespace

void moveAlongView(ViewerState& state, double distance) {
    Vec3d& eye = state.pose.eye;
    const Vec3d& dir = state.pose.viewDir;
    double length = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
    if (std::isinf(length))
        length = std::hypot(dir.x, dir.y, dir.z); // squares overflowed, the length did not
    if (!(length > 0.0) || !std::isfinite(length))
        return; // no direction to move along
    eye.x = eye.x + stepAlong(distance, dir.x, length);
    eye.y = eye.y + stepAlong(distance, dir.y, length);
    eye.z = eye.z + stepAlong(distance, dir.z, length);
    placeCamera(state);
}

void moveAlongView(double distance) {
    moveAlongView(viewerState, distance);
}

void rotateAboutCentre(double angle, double cx, double cy, double& px, double& py) {
    const double r = angle * kDegreesPi / 180.0;
    const double tx = px - cx;
    const double ty = py - cy;
    px = std::cos(r) * tx - std::sin(r) * ty + cx;
    py = std::sin(r) * tx + std::cos(r) * ty + cy;
}

void applyViewDirection(ViewerState& state) {
    if (!framesPresent(state))
        return;
    const Vec3d& dir = state.pose.viewDir;
    state.cameraFrame->SetOrientation(state.sceneFrame, narrow(dir.x), narrow(dir.y), narrow(dir.z),
                                      0.0f, 0.0f, 1.0f);
}

void applyViewDirection() {
    applyViewDirection(viewerState);
}

void applyNavigationKey(ViewerState& state, WPARAM key) {
    switch (key) {
    case kKeyUp:
        moveAlongView(state, state.moveStep);
        break;
    case kKeyDown:
        moveAlongView(state, -state.moveStep);
        break;
    case kKeyPageUp:
        changeHeight(state, state.moveStep);
        break;
    case kKeyPageDown:
        changeHeight(state, -state.moveStep);
        break;
    case kKeyLeft:
        turn(state, -kTurnDegrees);
        break;
    case kKeyRight:
        turn(state, kTurnDegrees);
        break;
    default:
        break;
    }
}
