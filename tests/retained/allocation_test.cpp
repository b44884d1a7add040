// Once its buffers have grown to a scene, the renderer allocates nothing per frame: no heap
// memory for Clear, Render or Update (nor threads, which would allocate their stacks).
#include "tests/retained/engine_fixture.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
}

// Every allocation of this test program is counted. The replacements below pair malloc with
// free themselves, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const std::size_t a = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return operator new(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace {

using namespace enginetest;

TEST(Allocation, SteadyFramesAllocateNothing) {
    for (DWORD quality : {D3DRMRENDER_FLAT, D3DRMRENDER_GOURAUD}) {
        Scene s(640, 360, quality);
        s.addLight(D3DRMLIGHT_AMBIENT, 0.3f, 0.3f, 0.3f);
        s.addLight(D3DRMLIGHT_POINT, 0.7f, 0.7f, 0.7f, {-3, 3, 0});
        // Enough triangles for several chunks of work, one face crossing the front plane,
        // and a textured quad.
        std::vector<D3DVECTOR> v;
        std::vector<DWORD> f;
        const int n = 200;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i)
                v.push_back({-4.0f + 8.0f * i / n, -1.0f, 0.5f + 10.0f * j / n});
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const DWORD a = j * (n + 1) + i;
                f.insert(f.end(), {4, a + n + 1, a + n + 2, a + 1, a});
            }
        f.push_back(0);
        s.addMesh(v, f, 0xFF80C040);
        IDirect3DRMMeshBuilder* m = s.addMesh(facingQuad(-1, -0.5f, 1, 1, 6), kQuadFace);
        const std::uint32_t texels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        IDirect3DRMTexture* t = nullptr;
        ASSERT_EQ(retained::testing::createTexture(s.rm, 2, 2, texels, &t), 0);
        ASSERT_EQ(m->SetTexture(t), 0);
        t->Release();
        for (int warm = 0; warm < 3; ++warm) {
            s.render();
            ASSERT_EQ(s.device->Update(), 0);
        }
        const long before = g_allocations.load();
        for (int frame = 0; frame < 5; ++frame) {
            s.render();
            ASSERT_EQ(s.device->Update(), 0);
        }
        EXPECT_EQ(g_allocations.load() - before, 0) << "quality " << quality;
        EXPECT_NE(s.pixel(320, 300), 0u); // the floor was drawn
    }
}

} // namespace
