// A small scene for the engine's tests: a root, a scene frame with a camera at the origin
// looking along +z (up +y), an off-screen device and a viewport over all of it.
#pragma once

#include "platform/retained/retained.h"
#include "platform/retained/testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace enginetest {

struct Scene {
    IDirect3DRM* rm = nullptr;
    IDirect3DRMFrame* scene = nullptr;
    IDirect3DRMFrame* camera = nullptr;
    IDirect3DRMDevice* device = nullptr;
    IDirect3DRMViewport* viewport = nullptr;
    int width, height;

    Scene(int w, int h, DWORD quality = D3DRMRENDER_FLAT) : width(w), height(h) {
        EXPECT_EQ(Direct3DRMCreate(&rm), 0);
        EXPECT_EQ(rm->CreateFrame(nullptr, &scene), 0);
        EXPECT_EQ(rm->CreateFrame(scene, &camera), 0);
        EXPECT_EQ(rm->CreateDeviceOffscreen(w, h, &device), 0);
        EXPECT_EQ(device->SetQuality(quality), 0);
        EXPECT_EQ(rm->CreateViewport(device, camera, 0, 0, w, h, &viewport), 0);
    }
    ~Scene() {
        viewport->Release();
        device->Release();
        camera->Release();
        scene->Release();
        rm->Release();
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // A light on its own child frame of the scene, at `position`, its +z along `direction`.
    void addLight(D3DRMLIGHTTYPE type, float r, float g, float b, D3DVECTOR position = {0, 0, 0},
                  D3DVECTOR direction = {0, 0, 1}) {
        IDirect3DRMFrame* f = nullptr;
        IDirect3DRMLight* l = nullptr;
        ASSERT_EQ(rm->CreateFrame(scene, &f), 0);
        ASSERT_EQ(f->SetPosition(nullptr, position.x, position.y, position.z), 0);
        ASSERT_EQ(f->SetOrientation(nullptr, direction.x, direction.y, direction.z, 0, 1, 0), 0);
        ASSERT_EQ(rm->CreateLightRGB(type, r, g, b, &l), 0);
        ASSERT_EQ(f->AddLight(l), 0);
        l->Release();
        f->Release();
    }

    // A mesh on its own child frame of the scene; returns the builder (owned by the frame).
    IDirect3DRMMeshBuilder* addMesh(const std::vector<D3DVECTOR>& vertices,
                                    const std::vector<DWORD>& faces, D3DCOLOR colour = 0xFFFFFFFF) {
        IDirect3DRMFrame* f = nullptr;
        IDirect3DRMMeshBuilder* m = nullptr;
        EXPECT_EQ(rm->CreateFrame(scene, &f), 0);
        EXPECT_EQ(rm->CreateMeshBuilder(&m), 0);
        EXPECT_EQ(m->AddFaces(static_cast<DWORD>(vertices.size()), vertices.data(), 0, nullptr,
                              faces.data(), static_cast<DWORD>(faces.size()), nullptr),
                  0);
        EXPECT_EQ(m->SetColor(colour), 0);
        EXPECT_EQ(f->AddVisual(m), 0);
        m->Release();
        f->Release();
        return m;
    }

    void render() {
        ASSERT_EQ(viewport->Clear(), 0);
        ASSERT_EQ(viewport->Render(scene), 0);
    }

    std::uint32_t pixel(int x, int y) {
        const std::uint8_t* base = reinterpret_cast<const std::uint8_t*>(device->GetPixels());
        return reinterpret_cast<const std::uint32_t*>(base + static_cast<std::size_t>(y) *
                                                                 device->GetStrideBytes())[x];
    }
};

// The screen position of a camera-space point, as the engine defines it (field 0.5).
inline double screenX(int w, int h, double x, double z) {
    return w / 2.0 + std::min(w, h) * x / z;
}
inline double screenY(int w, int h, double y, double z) {
    return h / 2.0 - std::min(w, h) * y / z;
}

// A rectangle facing the camera at depth z, wound clockwise as the camera sees it.
inline std::vector<D3DVECTOR> facingQuad(float x0, float y0, float x1, float y1, float z) {
    return {{x0, y1, z}, {x1, y1, z}, {x1, y0, z}, {x0, y0, z}};
}
inline const std::vector<DWORD> kQuadFace = {4, 0, 1, 2, 3, 0};

inline int channel(std::uint32_t c, int shift) {
    return static_cast<int>((c >> shift) & 255);
}

} // namespace enginetest
