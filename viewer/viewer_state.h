// The viewer's one state record: camera and light placement, scene settings,
// the two static mesh tables every mesh passes through, the render-context
// handles and the window values. Qt-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/retained/retained.h"
#include "platform/winapi/wintypes.h"

// Retained-mode engine objects (declared by the engine header too).
struct IDirect3DRM;
struct IDirect3DRMFrame;
struct IDirectDrawClipper;
struct IDirect3DRMDevice;
struct IDirect3DRMViewport;

// A point or direction in scene coordinates (the file's units, x mirrored on
// reading); +z is the camera's up axis.
struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Placement of camera and light.
struct CameraPose {
    Vec3d eye{0.0, -50.0, 0.0};
    Vec3d target{};
    Vec3d viewDir{};
    Vec3d lightPos{0.0, -50.0, 0.0};
    Vec3d lightTarget{};
};

// One entry of VertexTable: the engine's D3DVECTOR (three floats), so the
// table is handed to AddFaces as it stands.
using VertexEntry = D3DVECTOR;
static_assert(sizeof(VertexEntry) == 12 && std::is_standard_layout_v<VertexEntry> &&
                  std::is_trivial_v<VertexEntry> && offsetof(VertexEntry, y) == 4 &&
                  offsetof(VertexEntry, z) == 8,
              "VertexEntry must have the layout of three packed floats");

// Capacity of VertexTable and FaceDataTable, in entries.
inline constexpr std::int32_t kMeshTableCapacity = 300000;

// The viewer's record. The two tables carry no initialiser on purpose: the one
// global instance lives in zero-filled static storage (no 4.8 MB image in the
// program file, no start-up fill), and an instance made with
// std::make_unique<ViewerState>() is value-initialised, hence zero-filled too.
// Never create one with plain `new ViewerState` (tables left indeterminate) or
// on the stack (too big).
struct ViewerState {
    // Pose
    CameraPose pose{};
    CameraPose savedPose{};
    std::int32_t savedPoseValid = 0;

    // Scene settings, read afresh at every scene load
    double ambientLevel = 0.0;
    double directionalLevel = 0.0;
    double pointLevel = 0.0;
    double spotLevel = 0.0;
    double moveStep = 2.0;
    std::int32_t renderMode = 0;

    // User setting: 0x00RRGGBB
    std::uint32_t backgroundColor = 0;

    // Mesh staging, refilled from entry 0 by every mesh, never cleared
    VertexEntry VertexTable[kMeshTableCapacity];
    std::int32_t meshVertexCount = 0;
    std::uint32_t FaceDataTable[kMeshTableCapacity];
    std::int32_t meshFaceDataCount = 0;

    // Retained-mode handles of the render context (absent until created)
    IDirect3DRM* rmRoot = nullptr;
    IDirect3DRMFrame* sceneFrame = nullptr;
    IDirect3DRMFrame* cameraFrame = nullptr;
    IDirect3DRMFrame* lightFrame = nullptr;
    IDirect3DRMFrame* meshRootA = nullptr;
    IDirect3DRMFrame* meshRootB = nullptr;
    IDirectDrawClipper* rmClipper = nullptr;
    IDirect3DRMDevice* rmDevice = nullptr;
    IDirect3DRMViewport* rmViewport = nullptr;

    // Window values
    std::uint32_t timerId = 0;
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    CHOOSECOLORA colorDialog{};
    COLORREF customColors[16]{};
};

// The program's one instance, alive for the whole run.
extern ViewerState viewerState;

// Copies a pose member by member (eye, target, viewDir, lightPos, lightTarget;
// x, y, z within each): fifteen doubles, bit for bit, no conversion.
void copyCameraPose(CameraPose& to, const CameraPose& from);
