// Camera navigation: the six keys that move, raise, lower and turn the camera.
// Each key changes the live pose in ViewerState and places the camera frame at
// once; the key handler then invalidates the window so the next paint shows
// (and snapshots) the new view.
#pragma once

#include "platform/winapi/wintypes.h"
#include "viewer/viewer_state.h"

// Turn per Left/Right key press, in degrees (Left turns by minus this).
inline constexpr double kTurnDegrees = 3.0;
// The five-decimal pi of the degrees-to-radians conversion.
inline constexpr double kDegreesPi = 3.14159;

// Virtual-key codes the navigation answers (the window layer's values).
inline constexpr WPARAM kKeyPageUp = 0x21;   // VK_PRIOR
inline constexpr WPARAM kKeyPageDown = 0x22; // VK_NEXT
inline constexpr WPARAM kKeyLeft = 0x25;     // VK_LEFT
inline constexpr WPARAM kKeyUp = 0x26;       // VK_UP
inline constexpr WPARAM kKeyRight = 0x27;    // VK_RIGHT
inline constexpr WPARAM kKeyDown = 0x28;     // VK_DOWN

// WM_KEYDOWN of the viewer window: one step of the key's action on the
// program's state, then the whole client area invalidated. Always 0.
// Defined with the window (it needs the window layer).
LRESULT handleNavigationKey(HWND window, WPARAM key);

// The key's action on any state record, without touching a window. Only the
// whole key code decides; codes other than the six change nothing. The pose
// is updated even when the frames are absent; the camera frame is placed only
// when sceneFrame and cameraFrame both exist.
void applyNavigationKey(ViewerState& state, WPARAM key);

// Moves eye by a signed distance along the full 3D viewDir and places the
// camera frame there. A zero (or non-finite) viewDir moves nothing.
void moveAlongView(double distance);
void moveAlongView(ViewerState& state, double distance);

// Rotates the point (px, py) in place about (cx, cy) by angle degrees; a
// positive angle turns from +x toward +y.
void rotateAboutCentre(double angle, double cx, double cy, double& px, double& py);

// Orients the camera frame along viewDir with up (0, 0, 1).
void applyViewDirection();
void applyViewDirection(ViewerState& state);
