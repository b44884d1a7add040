// Test seams of the retained-mode engine: counts, fault injection and read-only queries.
// Not for program code; tests of the engine and of its callers use them.
#pragma once

#include "platform/retained/retained.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace retained::testing {

// Engine objects currently alive (every type counted; a clipper and a window-device too).
std::size_t liveObjectCount();

// The reference count of a live object (for ownership tests).
ULONG referenceCount(IDirect3DRM* object);
ULONG referenceCount(IDirect3DRMFrame* object);
ULONG referenceCount(IDirect3DRMMeshBuilder* object);
ULONG referenceCount(IDirect3DRMTexture* object);
ULONG referenceCount(IDirect3DRMLight* object);
ULONG referenceCount(IDirect3DRMDevice* object);
ULONG referenceCount(IDirect3DRMViewport* object);
ULONG referenceCount(IDirectDrawClipper* object);

// Fault injection: the nth call (1 = the next one) of the named operation from now on fails
// with D3DRMERR_FAULTINJECTED and has no effect. Names are the operations' own:
// "Direct3DRMCreate", "DirectDrawCreateClipper", "SetHWnd", "CreateFrame", "CreateMeshBuilder",
// "LoadTexture", "CreateLightRGB", "CreateDeviceFromClipper", "CreateDeviceOffscreen",
// "CreateViewport", "AddVisual", "AddLight", "SetPosition", "SetOrientation",
// "SetSceneBackground", "AddFaces", "SetColor", "SetTexture", "SetTextureCoordinates",
// "SetQuality", "Update", "QueryInterface", "HandlePaint", "HandleActivate", "SetBack", "Clear",
// "Render". Several faults may be armed at once.
void failCall(const std::string& operation, int nth = 1);
// Disarms every fault and zeroes every call count.
void resetFaults();
// How many times the named operation has been called since the last resetFaults()
// (failed calls included).
int callCount(const std::string& operation);

// A texture made from pixels in memory (0x00RRGGBB, rows top to bottom), for tests that need
// no image file. Fails like LoadTexture on a size of 0 or beyond 16384.
HRESULT createTexture(IDirect3DRM* rm, int width, int height, const std::uint32_t* pixels,
                      IDirect3DRMTexture** out);

struct LightInfo {
    D3DRMLIGHTTYPE type;
    float r, g, b;
};

struct TextureCoordinate {
    float u, v;
};

struct TextureInfo {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB
    std::string fileName;              // as given to LoadTexture ("" for createTexture)
};

// Read-only queries. Objects are returned without a new reference.
std::vector<IDirect3DRMFrame*> frameChildren(IDirect3DRMFrame* frame);
std::vector<IDirect3DRMMeshBuilder*> frameVisuals(IDirect3DRMFrame* frame);
std::vector<IDirect3DRMLight*> frameLights(IDirect3DRMFrame* frame);
IDirect3DRMFrame* frameParent(IDirect3DRMFrame* frame);
// The frame's origin and axes in world space.
D3DVECTOR frameWorldPosition(IDirect3DRMFrame* frame);
D3DVECTOR frameWorldDirection(IDirect3DRMFrame* frame); // +z axis
D3DVECTOR frameWorldUp(IDirect3DRMFrame* frame);        // +y axis
D3DVECTOR frameWorldRight(IDirect3DRMFrame* frame);     // +x axis
// The background of the frame's scene (the root above the frame).
D3DCOLOR sceneBackground(IDirect3DRMFrame* frame);

LightInfo lightInfo(IDirect3DRMLight* light);

std::vector<D3DVECTOR> meshVertices(IDirect3DRMMeshBuilder* mesh);
// Faces as given (vertex indices, builder-wide numbering: a later AddFaces call's indices are
// offset by the vertices added before it).
std::vector<std::vector<DWORD>> meshFaces(IDirect3DRMMeshBuilder* mesh);
D3DCOLOR meshColor(IDirect3DRMMeshBuilder* mesh);
IDirect3DRMTexture* meshTexture(IDirect3DRMMeshBuilder* mesh);
std::vector<TextureCoordinate> meshTextureCoordinates(IDirect3DRMMeshBuilder* mesh);

TextureInfo textureInfo(IDirect3DRMTexture* texture);

DWORD deviceQuality(IDirect3DRMDevice* device);
HWND deviceWindow(IDirect3DRMDevice* device); // nullptr for an off-screen device
HWND clipperWindow(IDirectDrawClipper* clipper);
float viewportBack(IDirect3DRMViewport* viewport);

// The worker threads the renderer uses (1 = renders on the calling thread only).
int rendererThreadCount();
// Sets the number of render workers (1..64); for tests of the threaded paths.
void setRendererThreadCount(int threads);

} // namespace retained::testing
