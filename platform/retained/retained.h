// The retained-mode 3D engine: scene graph (frames, mesh builders, lights, textures), devices
// that own a colour and a depth buffer, viewports that draw a frame tree as a camera sees it,
// and a clipper that binds a device to a window. Every call returns a status (0 success,
// negative failure); every object is reference counted (the creator owns one reference and
// gives it back with Release; the last Release frees the object).
//
// No Qt here: only the texture loader (a separate library) reads image files.
#pragma once

#include <cstdint>

using D3DVALUE = float;
using D3DCOLOR = std::uint32_t; // 0xAARRGGBB
using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using ULONG = std::uint32_t;

struct D3DVECTOR {
    float x, y, z;
};

// Same opaque handles as the window layer's wintypes.h, so both headers can be included together.
struct HWND__;
using HWND = HWND__*;
struct HDC__;
using HDC = HDC__*;

enum D3DRMLIGHTTYPE {
    D3DRMLIGHT_AMBIENT = 0,
    D3DRMLIGHT_POINT = 1,
    D3DRMLIGHT_SPOT = 2,
    D3DRMLIGHT_DIRECTIONAL = 3
};

constexpr DWORD D3DRMRENDER_FLAT = 0x88;
constexpr DWORD D3DRMRENDER_GOURAUD = 0x89;

// Statuses.
constexpr HRESULT D3DRM_OK = 0;
constexpr HRESULT D3DRMERR_BADVALUE = -1;      // an argument out of range or malformed
constexpr HRESULT D3DRMERR_BADOBJECT = -2;     // a null or unusable object
constexpr HRESULT D3DRMERR_NOTFOUND = -3;      // an interface or file that does not exist
constexpr HRESULT D3DRMERR_BADFILE = -4;       // a file that cannot be read as an image
constexpr HRESULT D3DRMERR_OUTOFMEMORY = -5;   // an allocation refused (size limit or failure)
constexpr HRESULT D3DRMERR_FAULTINJECTED = -6; // a failure forced by the test seam

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
bool operator==(const GUID& a, const GUID& b);
extern const GUID IID_IDirect3DRMWinDevice;

struct IDirect3DRM;
struct IDirect3DRMFrame;
struct IDirect3DRMMeshBuilder;
struct IDirect3DRMTexture;
struct IDirect3DRMLight;
struct IDirect3DRMDevice;
struct IDirect3DRMWinDevice;
struct IDirect3DRMViewport;
struct IDirectDrawClipper;

HRESULT Direct3DRMCreate(IDirect3DRM** out);
HRESULT DirectDrawCreateClipper(DWORD flags, IDirectDrawClipper** out, void* outer);

// Presenting: a device made from a clipper remembers the clipper's window; its Update() calls
// the presenter installed here with that window and the device's pixels (0x00RRGGBB, rows top
// to bottom). The window layer offers a function of this shape and the program's start-up
// installs it; with none installed, Update() only finishes the picture.
using D3DRMPRESENTFN = void (*)(HWND window, const std::uint32_t* pixels, int width, int height,
                                int strideBytes);
void Direct3DRMSetPresenter(D3DRMPRESENTFN presenter);

// Objects are made only by the engine; their state lives behind them.
#define SV_RETAINED_OBJECT(Name)                                                                   \
  protected:                                                                                       \
    Name() = default;                                                                              \
    ~Name() = default;                                                                             \
                                                                                                   \
  public:                                                                                          \
    Name(const Name&) = delete;                                                                    \
    Name& operator=(const Name&) = delete;                                                         \
    ULONG AddRef();                                                                                \
    ULONG Release();

struct IDirectDrawClipper {
    SV_RETAINED_OBJECT(IDirectDrawClipper)
    HRESULT SetHWnd(DWORD flags, HWND window);
};

struct IDirect3DRM {
    SV_RETAINED_OBJECT(IDirect3DRM)
    HRESULT CreateFrame(IDirect3DRMFrame* parent, IDirect3DRMFrame** out);
    HRESULT CreateMeshBuilder(IDirect3DRMMeshBuilder** out);
    HRESULT LoadTexture(const char* fileName, IDirect3DRMTexture** out);
    HRESULT CreateLightRGB(D3DRMLIGHTTYPE type, D3DVALUE r, D3DVALUE g, D3DVALUE b,
                           IDirect3DRMLight** out);
    HRESULT CreateDeviceFromClipper(IDirectDrawClipper* clipper, const GUID* driver, int width,
                                    int height, IDirect3DRMDevice** out);
    // Our addition: a device with no window (tests, benchmarks, command-line rendering).
    HRESULT CreateDeviceOffscreen(int width, int height, IDirect3DRMDevice** out);
    HRESULT CreateViewport(IDirect3DRMDevice* device, IDirect3DRMFrame* camera, DWORD x, DWORD y,
                           DWORD width, DWORD height, IDirect3DRMViewport** out);
};

struct IDirect3DRMFrame {
    SV_RETAINED_OBJECT(IDirect3DRMFrame)
    HRESULT AddVisual(IDirect3DRMMeshBuilder* visual);
    HRESULT AddLight(IDirect3DRMLight* light);
    // Position and orientation are given in the reference frame's coordinates (no reference:
    // the parent's). After SetOrientation the frame's +z points along the direction, +y along
    // the up vector made perpendicular to it, and +x = y x z (left-handed).
    HRESULT SetPosition(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y, D3DVALUE z);
    HRESULT SetOrientation(IDirect3DRMFrame* reference, D3DVALUE dx, D3DVALUE dy, D3DVALUE dz,
                           D3DVALUE ux, D3DVALUE uy, D3DVALUE uz);
    HRESULT SetSceneBackground(D3DCOLOR colour);
};

struct IDirect3DRMMeshBuilder {
    SV_RETAINED_OBJECT(IDirect3DRMMeshBuilder)
    // faceData: faces of (n, n vertex indices), ended by n = 0 or by the end of the words given.
    // normals and faceArray are not supported (normalCount must be 0, faceArray nullptr).
    HRESULT AddFaces(DWORD vertexCount, const D3DVECTOR* vertices, DWORD normalCount,
                     const D3DVECTOR* normals, const DWORD* faceData, DWORD faceDataWordCount,
                     void** faceArray);
    HRESULT SetColor(D3DCOLOR colour);
    HRESULT SetTexture(IDirect3DRMTexture* texture);
    HRESULT SetTextureCoordinates(DWORD index, D3DVALUE u, D3DVALUE v);
};

struct IDirect3DRMTexture {
    SV_RETAINED_OBJECT(IDirect3DRMTexture)
};

struct IDirect3DRMLight {
    SV_RETAINED_OBJECT(IDirect3DRMLight)
};

struct IDirect3DRMDevice {
    SV_RETAINED_OBJECT(IDirect3DRMDevice)
    HRESULT SetQuality(DWORD quality);
    DWORD GetWidth();
    DWORD GetHeight();
    // Hands the finished picture to the presenter (a device made from a clipper).
    HRESULT Update();
    // IID_IDirect3DRMWinDevice gives an IDirect3DRMWinDevice* with one reference.
    HRESULT QueryInterface(const GUID& iid, void** out);
    // Our addition: the picture, 0x00RRGGBB, rows top to bottom, GetStrideBytes() apart.
    const std::uint32_t* GetPixels();
    int GetStrideBytes();
};

// The window side of a device. The picture reaches the window at the device's Update(), so
// painting and activation are only acknowledged (status 0).
struct IDirect3DRMWinDevice {
    SV_RETAINED_OBJECT(IDirect3DRMWinDevice)
    HRESULT HandlePaint(HDC dc);
    HRESULT HandleActivate(WORD state);
};

struct IDirect3DRMViewport {
    SV_RETAINED_OBJECT(IDirect3DRMViewport)
    // The back clipping distance (default 100; must be finite and beyond the front, 1.0).
    HRESULT SetBack(D3DVALUE distance);
    // Fills the viewport with its camera's scene background and forgets all depth.
    HRESULT Clear();
    // Draws the frame's tree as the camera sees it, depth-tested against what was drawn since
    // the last Clear, lit by the lights of the camera's scene and of the tree. Returns when the
    // picture is finished. Fails with D3DRMERR_OUTOFMEMORY (having drawn what fits) when memory
    // runs out or the tree holds more than 64M vertices or triangles.
    HRESULT Render(IDirect3DRMFrame* frame);
};

#undef SV_RETAINED_OBJECT
