// The render context: the engine objects through which the viewer draws into
// its window (root object, five frames, a clipper bound to the window, a
// device of the client size and a viewport looking through the camera frame).
// Built when the window is created and again at every resize; each build ends
// by loading the scene file, and a failing step shows its one message box.
#pragma once

#include "platform/winapi/wintypes.h"
#include "viewer/viewer_state.h"

// Message texts of the build, one per failing step.
inline constexpr const char* kMsgNoRetainedMode = "Could not create Retained Mode Interface!";
inline constexpr const char* kMsgNoScene = "Could not create scene!";
inline constexpr const char* kMsgNoCameraFrame = "Could not create camera frame!";
inline constexpr const char* kMsgNoCameraPosition = "Could not set camera position!";
inline constexpr const char* kMsgNoClipper = "Could not create clipper!";
inline constexpr const char* kMsgNoClipperWindow = "Could not associate clipper with window!";
inline constexpr const char* kMsgNoViewport = "Could not create viewport!";

// Back clipping plane of the viewport, in scene units.
inline constexpr float kViewportBack = 5000.0f;

// Builds the context of the program's state on the window and loads
// "trans.dat". 1 on success; 0 after the first failing step, whose message
// has been shown (owner the window, no caption, error icon).
//
// A build first releases whatever context the state still holds, so no
// object of an earlier context outlives a rebuild. After a failed build the
// handles of the steps that succeeded stay set (the teardown releases them).
int buildRenderContext(HWND window);
// The same build on any state record, loading the scene from scenePath.
int buildRenderContext(ViewerState& state, HWND window, const char* scenePath);

// Device of the window's client size and a viewport on it with cameraFrame
// as camera (the device's own width and height), back plane 5000. 1 or 0.
int createDeviceAndViewport(HWND window);
int createDeviceAndViewport(ViewerState& state, HWND window);

// Releases every handle of the context that holds an object and marks it
// absent: rmViewport, rmDevice, rmClipper, cameraFrame, lightFrame,
// sceneFrame, meshRootA, meshRootB, rmRoot (the meshes and lights go with
// their frames). Safe on a partly built or already released context.
void releaseRenderContext();
void releaseRenderContext(ViewerState& state);
