// The renderer against analytic expectations: projection and coverage, fill rule, depth,
// clipping, lighting, textures and the independence from the worker count.
#include "tests/retained/engine_fixture.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>

using namespace enginetest;

namespace {

constexpr std::uint32_t kWhite = 0x00FFFFFF;

struct QuadCase {
    const char* name;
    int w, h;
    float x0, y0, x1, y1, z;
};

// Pixel centres inside [lo, hi): the top-left rule keeps the left and top edges.
bool coveredX(double c, double lo, double hi) {
    return c >= lo && c < hi;
}

class QuadCoverage : public ::testing::TestWithParam<QuadCase> {};

TEST_P(QuadCoverage, CoversExactlyThePredictedPixels) {
    const QuadCase& q = GetParam();
    Scene s(q.w, q.h);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    s.addMesh(facingQuad(q.x0, q.y0, q.x1, q.y1, q.z), kQuadFace);
    s.render();
    const double left = screenX(q.w, q.h, q.x0, q.z), right = screenX(q.w, q.h, q.x1, q.z);
    const double top = screenY(q.w, q.h, q.y1, q.z), bottom = screenY(q.w, q.h, q.y0, q.z);
    int drawn = 0;
    for (int y = 0; y < q.h; ++y)
        for (int x = 0; x < q.w; ++x) {
            const bool expected = coveredX(x + 0.5, left, right) && coveredX(y + 0.5, top, bottom);
            ASSERT_EQ(s.pixel(x, y) == kWhite, expected) << "pixel " << x << "," << y;
            drawn += expected;
        }
    EXPECT_GT(drawn, 0);
}

INSTANTIATE_TEST_SUITE_P(Projection, QuadCoverage,
                         ::testing::Values(
                             // Edges on pixel boundaries: 32 x 32 pixels in the middle.
                             QuadCase{"aligned", 64, 64, -0.5f, -0.5f, 0.5f, 0.5f, 2.0f},
                             // Edges exactly through pixel centres (x = 16.5 and 47.5 ...).
                             QuadCase{"through_centres", 64, 64, -0.484375f, -0.484375f, 0.515625f,
                                      0.515625f, 2.0f},
                             // A wide viewport: s = min(W, H) / (2 * 0.5), centre (W/2, H/2).
                             QuadCase{"wide", 96, 40, -1.0f, -0.5f, 1.5f, 0.75f, 5.0f},
                             // Partly off the screen, and a far depth.
                             QuadCase{"offscreen_part", 48, 48, 0.3f, -2.0f, 5.0f, 0.1f, 1.5f},
                             QuadCase{"far", 64, 64, -10.0f, -10.0f, 10.0f, 10.0f, 90.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

struct GridCase {
    const char* name;
    float half;      // the square spans -half .. half at z = 1 (48 pixels per unit)
    float jitter;    // how far inner vertices move off the regular grid
    int first, last; // pixels whose centres lie inside
};

class FillRule : public ::testing::TestWithParam<GridCase> {};

// A square cut into a grid of triangles: rendered one triangle at a time, every pixel centre
// inside the square is drawn by exactly one triangle, also where edges run through centres.
TEST_P(FillRule, GridOfTrianglesDrawsEveryPixelExactlyOnce) {
    const GridCase& g = GetParam();
    const int n = 5, size = 48;
    Scene s(size, size);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    std::vector<D3DVECTOR> points;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            float x = -g.half + 2 * g.half * i / n, y = g.half - 2 * g.half * j / n;
            if (i > 0 && i < n && j > 0 && j < n) {
                x += g.jitter * std::sin(7.0f * i + 3.0f * j);
                y += g.jitter * std::cos(5.0f * i - 2.0f * j);
            }
            points.push_back({x, y, 1.0f});
        }
    std::vector<int> count(size * size, 0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const DWORD a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
            // Clockwise on the screen (y up in camera space, down on the screen); the diagonal
            // alternates so that both slopes are shared.
            const bool flip = (i + j) % 2 == 1;
            const std::vector<std::vector<DWORD>> tris =
                flip ? std::vector<std::vector<DWORD>>{{a, b, c}, {b, d, c}}
                     : std::vector<std::vector<DWORD>>{{a, b, d}, {a, d, c}};
            for (const auto& t : tris) {
                IDirect3DRMFrame* root = nullptr;
                IDirect3DRMMeshBuilder* m = nullptr;
                ASSERT_EQ(s.rm->CreateFrame(nullptr, &root), 0);
                ASSERT_EQ(s.rm->CreateMeshBuilder(&m), 0);
                const std::vector<DWORD> face = {3, t[0], t[1], t[2], 0};
                ASSERT_EQ(m->AddFaces(static_cast<DWORD>(points.size()), points.data(), 0, nullptr,
                                      face.data(), static_cast<DWORD>(face.size()), nullptr),
                          0);
                ASSERT_EQ(root->AddVisual(m), 0);
                ASSERT_EQ(s.viewport->Clear(), 0);
                // The scene's ambient light reaches another root through the camera's scene.
                ASSERT_EQ(s.viewport->Render(root), 0);
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x)
                        count[y * size + x] += s.pixel(x, y) == kWhite;
                m->Release();
                root->Release();
            }
        }
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool inside = x >= g.first && x <= g.last && y >= g.first && y <= g.last;
            ASSERT_EQ(count[y * size + x], inside ? 1 : 0) << "pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Raster, FillRule,
    ::testing::Values(
        // Pixels 4.8 .. 43.2: centres 5.5 .. 42.5 inside; inner vertices anywhere.
        GridCase{"irregular", 0.4f, 0.03f, 5, 42},
        // Every vertex on a pixel centre (4.5, 12.5, ... 44.5): edges run through centres.
        GridCase{"through_centres", 20.0f / 48.0f, 0.0f, 4, 43}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Culling, BackFacesAreNotDrawn) {
    Scene s(32, 32);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    s.addMesh(facingQuad(-0.5f, -0.5f, 0.5f, 0.5f, 2.0f), {4, 3, 2, 1, 0, 0});
    s.render();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(s.pixel(x, y), 0u);
}

TEST(Depth, NearerSurfaceWinsWhateverTheDrawOrder) {
    for (bool nearFirst : {true, false}) {
        Scene s(32, 32);
        s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
        auto nearQuad = facingQuad(-0.3f, -0.3f, 0.3f, 0.3f, 2.0f);
        auto farQuad = facingQuad(-0.2f, -0.6f, 0.6f, 0.2f, 3.0f);
        if (nearFirst) {
            s.addMesh(nearQuad, kQuadFace, 0xFFFF0000);
            s.addMesh(farQuad, kQuadFace, 0xFF00FF00);
        } else {
            s.addMesh(farQuad, kQuadFace, 0xFF00FF00);
            s.addMesh(nearQuad, kQuadFace, 0xFFFF0000);
        }
        s.render();
        EXPECT_EQ(s.pixel(16, 16), 0x00FF0000u) << nearFirst; // both: the near one
        EXPECT_EQ(s.pixel(20, 20), 0x00FF0000u) << nearFirst; // inside both
        EXPECT_EQ(s.pixel(21, 21), 0x0000FF00u) << nearFirst; // only the far one
        EXPECT_EQ(s.pixel(2, 2), 0x00000000u) << nearFirst;
    }
}

TEST(Depth, RenderAfterRenderTestsAgainstWhatIsDrawnUntilClear) {
    Scene s(32, 32);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    IDirect3DRMFrame* other = nullptr;
    ASSERT_EQ(s.rm->CreateFrame(nullptr, &other), 0);
    IDirect3DRMMeshBuilder* m = nullptr;
    ASSERT_EQ(s.rm->CreateMeshBuilder(&m), 0);
    auto farQuad = facingQuad(-3, -3, 3, 3, 4.0f);
    ASSERT_EQ(m->AddFaces(4, farQuad.data(), 0, nullptr, kQuadFace.data(), 6, nullptr), 0);
    ASSERT_EQ(m->SetColor(0xFF0000FF), 0);
    ASSERT_EQ(other->AddVisual(m), 0);
    s.addMesh(facingQuad(-0.25f, -0.25f, 0.25f, 0.25f, 2.0f), kQuadFace, 0xFFFF0000);
    ASSERT_EQ(s.viewport->Clear(), 0);
    ASSERT_EQ(s.viewport->Render(s.scene), 0);
    ASSERT_EQ(s.viewport->Render(other), 0);
    EXPECT_EQ(s.pixel(16, 16), 0x00FF0000u); // the near quad of the first render stays
    EXPECT_EQ(s.pixel(2, 2), 0x000000FFu);
    m->Release();
    other->Release();
}

// Clear resets depth for the next frame, also where a later viewport covers only part of a
// tile that an earlier frame drew into.
TEST(Depth, ClearForgetsEarlierFramesInWholeAndPartialViewports) {
    const int w = 150, h = 140;
    Scene s(w, h);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    IDirect3DRMFrame *nearRoot = nullptr, *farRoot = nullptr;
    ASSERT_EQ(s.rm->CreateFrame(nullptr, &nearRoot), 0);
    ASSERT_EQ(s.rm->CreateFrame(nullptr, &farRoot), 0);
    auto attach = [&](IDirect3DRMFrame* root, float z, D3DCOLOR colour) {
        IDirect3DRMMeshBuilder* m = nullptr;
        ASSERT_EQ(s.rm->CreateMeshBuilder(&m), 0);
        auto quad = facingQuad(-50, -50, 50, 50, z); // fills any view
        ASSERT_EQ(m->AddFaces(4, quad.data(), 0, nullptr, kQuadFace.data(), 6, nullptr), 0);
        ASSERT_EQ(m->SetColor(colour), 0);
        ASSERT_EQ(root->AddVisual(m), 0);
        m->Release();
    };
    attach(nearRoot, 2, 0xFFFF0000);
    attach(farRoot, 60, 0xFF0000FF);
    IDirect3DRMViewport* part = nullptr;
    ASSERT_EQ(s.rm->CreateViewport(s.device, s.camera, 30, 70, 50, 33, &part), 0);
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(s.viewport->Clear(), 0);
        ASSERT_EQ(s.viewport->Render(nearRoot), 0);
        ASSERT_EQ(s.pixel(75, 70), 0x00FF0000u);
        ASSERT_EQ(s.viewport->Clear(), 0);
        ASSERT_EQ(s.viewport->Render(farRoot), 0);
        for (int y = 0; y < h; y += 7)
            for (int x = 0; x < w; x += 7)
                ASSERT_EQ(s.pixel(x, y), 0x000000FFu) << x << "," << y;
        // The near quad again everywhere, then the far one through the partial viewport only.
        ASSERT_EQ(s.viewport->Render(nearRoot), 0);
        ASSERT_EQ(part->Clear(), 0);
        ASSERT_EQ(part->Render(farRoot), 0);
        for (int y = 0; y < h; y += 3)
            for (int x = 0; x < w; x += 3) {
                const bool inPart = x >= 30 && x < 80 && y >= 70 && y < 103;
                ASSERT_EQ(s.pixel(x, y), inPart ? 0x000000FFu : 0x00FF0000u) << x << "," << y;
            }
    }
    part->Release();
    nearRoot->Release();
    farRoot->Release();
}

TEST(Clipping, BackPlaneRemovesWhatLiesBeyondIt) {
    Scene s(32, 32);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    s.addMesh(facingQuad(-1, -1, 1, 1, 50.0f), kQuadFace);
    s.render();
    EXPECT_EQ(s.pixel(16, 16), kWhite); // default back plane 100
    ASSERT_EQ(s.viewport->SetBack(40.0f), 0);
    s.render();
    EXPECT_EQ(s.pixel(16, 16), 0u);
}

// A floor (y = -0.25) from z = 0.5 to z = 5 crosses the front plane (1.0): the part beyond it
// is drawn up to the row where the floor meets the front plane, not dropped.
TEST(Clipping, FaceCrossingTheFrontPlaneIsClippedNotDropped) {
    const int size = 64;
    Scene s(size, size);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    s.addMesh({{-1, -0.25f, 5}, {1, -0.25f, 5}, {1, -0.25f, 0.5f}, {-1, -0.25f, 0.5f}}, kQuadFace);
    s.render();
    int drawn = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double cy = y + 0.5, cx = x + 0.5;
            // Floor depth seen through this row, and the half width of the floor there.
            const double z = cy > 32 ? 16.0 / (cy - 32) : 1e9;
            const double half = 64.0 / z;
            const bool inside = z >= 1.0 && z <= 5.0 && std::fabs(cx - 32) < half;
            const double margin = std::min(
                {std::fabs(cy - 48.0), std::fabs(cy - 35.2), std::fabs(std::fabs(cx - 32) - half)});
            if (margin < 0.1)
                continue;
            ASSERT_EQ(s.pixel(x, y) == kWhite, inside) << "pixel " << x << "," << y;
            drawn += inside;
        }
    EXPECT_GT(drawn, 300);
    EXPECT_EQ(s.pixel(32, 47), kWhite); // the last row before z = 1
}

TEST(Clipping, FaceReachingBehindTheCameraIsClipped) {
    Scene s(32, 32);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    // A wall to the right, x = 1, from behind the camera (z = -5) to z = 10.
    s.addMesh({{1, -1, -5}, {1, -1, 10}, {1, 1, 10}, {1, 1, -5}}, kQuadFace);
    s.render();
    // At depth 10 the wall's edge is at x = 16 + 32 / 10; towards the camera it covers the right.
    EXPECT_EQ(s.pixel(31, 16), kWhite);
    EXPECT_EQ(s.pixel(20, 16), kWhite);
    EXPECT_EQ(s.pixel(18, 16), 0u);
}

TEST(Robustness, BrokenCoordinatesSkipTheirFacesOnly) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Scene s(32, 32);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    s.addMesh({{-1e30f, 1e30f, 2},
               {1e30f, 1e30f, 2},
               {1e30f, -1e30f, 2},
               {-1e30f, -1e30f, 2},
               {nan, 0, 2},
               {inf, 1, 2},
               {0, -inf, 2},
               {1e9f, 1e9f, 0.5f},
               {2e9f, 1e9f, 50},
               {1e9f, 2e9f, 50}},
              {4, 0, 1, 2, 3, 3, 4, 5, 6, 3, 7, 8, 9, 0});
    s.addMesh(facingQuad(-0.25f, -0.25f, 0.25f, 0.25f, 2.0f), kQuadFace, 0xFF00FF00);
    s.render();
    EXPECT_EQ(s.pixel(16, 16), 0x0000FF00u);
}

// ----------------------------------------------------------------------------------------------
// Lighting

int shaded(int channelValue, double light) {
    return static_cast<int>(
        std::floor(std::clamp(channelValue / 255.0 * light, 0.0, 1.0) * 255.0 + 0.5));
}

struct AmbientCase {
    D3DCOLOR colour;
    float level;
    DWORD quality;
};

class AmbientOnly : public ::testing::TestWithParam<AmbientCase> {};

TEST_P(AmbientOnly, ColourIsMeshColourTimesLevelClamped) {
    const AmbientCase& c = GetParam();
    Scene s(16, 16, c.quality);
    s.addLight(D3DRMLIGHT_AMBIENT, c.level, c.level, c.level);
    s.addMesh(facingQuad(-1, -1, 1, 1, 2), kQuadFace, c.colour);
    s.render();
    const std::uint32_t p = s.pixel(8, 8);
    EXPECT_EQ(channel(p, 16), shaded(channel(c.colour, 16), c.level));
    EXPECT_EQ(channel(p, 8), shaded(channel(c.colour, 8), c.level));
    EXPECT_EQ(channel(p, 0), shaded(channel(c.colour, 0), c.level));
    EXPECT_EQ(p >> 24, 0u);
}

INSTANTIATE_TEST_SUITE_P(Lighting, AmbientOnly,
                         ::testing::Values(AmbientCase{0xFFFF8040, 1.0f, D3DRMRENDER_FLAT},
                                           AmbientCase{0xFFFF8040, 0.6f, D3DRMRENDER_FLAT},
                                           AmbientCase{0x12345678, 0.3f, D3DRMRENDER_GOURAUD},
                                           AmbientCase{0xFF808080, 3.0f, D3DRMRENDER_FLAT},
                                           AmbientCase{0xFFFFFFFF, -1.0f, D3DRMRENDER_GOURAUD},
                                           AmbientCase{0xFFC0C0C0, 0.0f, D3DRMRENDER_FLAT}));

TEST(Lighting, NoLightsGiveBlack) {
    Scene s(16, 16);
    s.addMesh(facingQuad(-1, -1, 1, 1, 2), kQuadFace);
    s.render();
    EXPECT_EQ(s.pixel(8, 8), 0u);
}

class DirectionalAngle : public ::testing::TestWithParam<std::tuple<double, DWORD>> {};

// The quad faces the camera (normal -z); the light shines along (sin a, 0, cos a).
TEST_P(DirectionalAngle, GivesNDotL) {
    const auto [degrees, quality] = GetParam();
    const double a = degrees * M_PI / 180.0;
    Scene s(16, 16, quality);
    s.addLight(D3DRMLIGHT_DIRECTIONAL, 1, 1, 1, {0, 0, 0},
               {static_cast<float>(std::sin(a)), 0, static_cast<float>(std::cos(a))});
    s.addLight(D3DRMLIGHT_AMBIENT, 0.1f, 0.1f, 0.1f);
    s.addMesh(facingQuad(-1, -1, 1, 1, 2), kQuadFace, 0xFFFFFFFF);
    s.render();
    const int expected = shaded(255, std::max(0.0, std::cos(a)) + 0.1);
    EXPECT_NEAR(channel(s.pixel(8, 8), 8), expected, 1) << degrees;
}

INSTANTIATE_TEST_SUITE_P(
    Lighting, DirectionalAngle,
    ::testing::Combine(::testing::Values(0.0, 30.0, 60.0, 85.0, 90.0, 135.0, 180.0),
                       ::testing::Values(D3DRMRENDER_FLAT, D3DRMRENDER_GOURAUD)));

struct PointCase {
    D3DRMLIGHTTYPE type;
    D3DVECTOR lightPosition;
    D3DVECTOR lightDirection;
    double expected; // light received at the quad's centre (0, 0, 2)
};

class PointAndSpot : public ::testing::TestWithParam<PointCase> {};

// A small quad at (0, 0, 2) facing the camera, lit flat at its centre.
TEST_P(PointAndSpot, FollowTheAnglesToTheLight) {
    const PointCase& c = GetParam();
    Scene s(16, 16, D3DRMRENDER_FLAT);
    s.addLight(c.type, 1, 1, 1, c.lightPosition, c.lightDirection);
    s.addMesh(facingQuad(-0.1f, -0.1f, 0.1f, 0.1f, 2), kQuadFace);
    s.render();
    EXPECT_NEAR(channel(s.pixel(8, 8), 0), shaded(255, c.expected), 1);
}

const double kT = std::tan(0.3), kT45 = std::tan(0.45), kT6 = std::tan(0.6);

INSTANTIATE_TEST_SUITE_P(
    Lighting, PointAndSpot,
    ::testing::Values(
        // Point light straight in front of the face, then at 60 degrees, then behind the plane.
        PointCase{D3DRMLIGHT_POINT, {0, 0, 0}, {0, 0, 1}, 1.0},
        PointCase{D3DRMLIGHT_POINT, {static_cast<float>(std::sqrt(3.0)), 0, 1}, {0, 0, 1}, 0.5},
        PointCase{D3DRMLIGHT_POINT, {0, 0, 3}, {0, 0, 1}, 0.0},
        // Spot at (0, 0, 2 - 1) aimed off the face by 0.3 rad: full; 0.45 rad: half; 0.6: none.
        // The light sits straight in front of the face, so N . L is 1.
        PointCase{D3DRMLIGHT_SPOT, {0, 0, 1}, {static_cast<float>(kT), 0, 1}, 1.0},
        PointCase{D3DRMLIGHT_SPOT, {0, 0, 1}, {static_cast<float>(kT45), 0, 1}, 0.5},
        PointCase{D3DRMLIGHT_SPOT, {0, 0, 1}, {static_cast<float>(kT6), 0, 1}, 0.0}));

std::vector<D3DVECTOR> sphereVertices(int rings, int segments, float radius, float z) {
    std::vector<D3DVECTOR> v;
    for (int i = 0; i <= rings; ++i) {
        const double theta = M_PI * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double phi = 2 * M_PI * j / segments;
            v.push_back({static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                         static_cast<float>(radius * std::cos(theta)),
                         static_cast<float>(z + radius * std::sin(theta) * std::sin(phi))});
        }
    }
    return v;
}

std::vector<DWORD> sphereFaces(int rings, int segments) {
    std::vector<DWORD> f;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const DWORD a = i * segments + j, b = i * segments + (j + 1) % segments;
            const DWORD c = a + segments, d = b + segments;
            // Clockwise seen from outside.
            f.insert(f.end(), {4, a, b, d, c});
        }
    f.push_back(0);
    return f;
}

TEST(Lighting, FlatShowsOneColourPerFaceAndGouraudBlends) {
    const int size = 96;
    std::map<DWORD, std::set<std::uint32_t>> colours;
    std::map<DWORD, int> biggestStep;
    for (DWORD quality : {D3DRMRENDER_FLAT, D3DRMRENDER_GOURAUD}) {
        Scene s(size, size, quality);
        s.addLight(D3DRMLIGHT_DIRECTIONAL, 1, 1, 1, {0, 0, 0}, {0.3f, -0.4f, 1});
        s.addMesh(sphereVertices(12, 16, 1.0f, 4.0f), sphereFaces(12, 16));
        s.render();
        int step = 0;
        for (int y = 24; y < 72; ++y)
            for (int x = 24; x < 72; ++x) {
                // Well inside the outline, away from the silhouette's jump to the background.
                if (std::hypot(x - 48, y - 48) > 15)
                    continue;
                const std::uint32_t p = s.pixel(x, y);
                colours[quality].insert(p);
                step = std::max(step, std::abs(channel(p, 8) - channel(s.pixel(x + 1, y), 8)));
            }
        biggestStep[quality] = step;
        // Grey: the light is white and so is the mesh.
        const std::uint32_t c = s.pixel(48, 48);
        EXPECT_EQ(channel(c, 16), channel(c, 0));
        EXPECT_GT(channel(c, 16), 150);
    }
    // At most one colour per visible face in flat quality (12 x 16 faces, half visible).
    EXPECT_LE(colours[D3DRMRENDER_FLAT].size(), 12u * 16u / 2u + 1u);
    EXPECT_GT(colours[D3DRMRENDER_GOURAUD].size(), 2 * colours[D3DRMRENDER_FLAT].size());
    EXPECT_LT(2 * biggestStep[D3DRMRENDER_GOURAUD], biggestStep[D3DRMRENDER_FLAT]);
}

TEST(Lighting, CameraScenesLightsReachAnotherRenderedRoot) {
    Scene s(16, 16);
    s.addLight(D3DRMLIGHT_AMBIENT, 0.5f, 0.5f, 0.5f);
    IDirect3DRMFrame* root = nullptr;
    IDirect3DRMMeshBuilder* m = nullptr;
    ASSERT_EQ(s.rm->CreateFrame(nullptr, &root), 0);
    ASSERT_EQ(s.rm->CreateMeshBuilder(&m), 0);
    auto quad = facingQuad(-1, -1, 1, 1, 2);
    ASSERT_EQ(m->AddFaces(4, quad.data(), 0, nullptr, kQuadFace.data(), 6, nullptr), 0);
    ASSERT_EQ(root->AddVisual(m), 0);
    // A light in the rendered root counts as well.
    IDirect3DRMLight* extra = nullptr;
    ASSERT_EQ(s.rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 0.25f, 0, 0, &extra), 0);
    ASSERT_EQ(root->AddLight(extra), 0);
    ASSERT_EQ(s.viewport->Clear(), 0);
    ASSERT_EQ(s.viewport->Render(root), 0);
    EXPECT_EQ(s.pixel(8, 8), (191u << 16) | (128u << 8) | 128u);
    extra->Release();
    m->Release();
    root->Release();
}

// ----------------------------------------------------------------------------------------------
// Frames, viewport and background

TEST(Viewport, ClearFillsOnlyItsRectangleWithTheSceneBackground) {
    IDirect3DRM* rm = nullptr;
    ASSERT_EQ(Direct3DRMCreate(&rm), 0);
    IDirect3DRMFrame *scene = nullptr, *camera = nullptr;
    ASSERT_EQ(rm->CreateFrame(nullptr, &scene), 0);
    ASSERT_EQ(rm->CreateFrame(scene, &camera), 0);
    ASSERT_EQ(camera->SetSceneBackground(0x80123456), 0); // reaches the root
    IDirect3DRMDevice* device = nullptr;
    ASSERT_EQ(rm->CreateDeviceOffscreen(40, 30, &device), 0);
    IDirect3DRMViewport* vp = nullptr;
    ASSERT_EQ(rm->CreateViewport(device, camera, 10, 5, 20, 10, &vp), 0);
    ASSERT_EQ(vp->Clear(), 0);
    const auto* px = device->GetPixels();
    const int stride = device->GetStrideBytes() / 4;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 10 && x < 30 && y >= 5 && y < 15;
            ASSERT_EQ(px[y * stride + x], inside ? 0x00123456u : 0u) << x << "," << y;
        }
    vp->Release();
    device->Release();
    camera->Release();
    scene->Release();
    rm->Release();
}

TEST(Viewport, ProjectsAboutItsOwnCentreAndDrawsOnlyInside) {
    IDirect3DRM* rm = nullptr;
    ASSERT_EQ(Direct3DRMCreate(&rm), 0);
    IDirect3DRMFrame *scene = nullptr, *camera = nullptr, *meshFrame = nullptr;
    ASSERT_EQ(rm->CreateFrame(nullptr, &scene), 0);
    ASSERT_EQ(rm->CreateFrame(scene, &camera), 0);
    ASSERT_EQ(rm->CreateFrame(scene, &meshFrame), 0);
    IDirect3DRMLight* light = nullptr;
    ASSERT_EQ(rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 1, 1, 1, &light), 0);
    ASSERT_EQ(scene->AddLight(light), 0);
    IDirect3DRMMeshBuilder* m = nullptr;
    ASSERT_EQ(rm->CreateMeshBuilder(&m), 0);
    auto quad = facingQuad(-0.25f, -0.25f, 10.0f, 10.0f, 2); // runs off the viewport's corner
    ASSERT_EQ(m->AddFaces(4, quad.data(), 0, nullptr, kQuadFace.data(), 6, nullptr), 0);
    ASSERT_EQ(meshFrame->AddVisual(m), 0);
    IDirect3DRMDevice* device = nullptr;
    ASSERT_EQ(rm->CreateDeviceOffscreen(100, 80, &device), 0);
    IDirect3DRMViewport* vp = nullptr;
    ASSERT_EQ(rm->CreateViewport(device, camera, 13, 7, 40, 32, &vp), 0);
    ASSERT_EQ(vp->Clear(), 0);
    ASSERT_EQ(vp->Render(scene), 0);
    const auto* px = device->GetPixels();
    const int stride = device->GetStrideBytes() / 4;
    // Centre (13 + 20, 7 + 16) = (33, 23); s = 32; the quad's corner at -0.25 / 2 -> -4 pixels.
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inside = x >= 29 && x < 53 && y >= 7 && y < 27;
            ASSERT_EQ(px[y * stride + x] == kWhite, inside) << x << "," << y;
        }
    vp->Release();
    device->Release();
    m->Release();
    light->Release();
    meshFrame->Release();
    camera->Release();
    scene->Release();
    rm->Release();
}

TEST(Camera, MovedAndTurnedCameraSeesThroughItsFrame) {
    Scene s(32, 32);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    // A quad on the floor at y = -3 around (5, -3, 7), facing up; the camera above it looks down.
    s.addMesh({{4, -3, 8}, {6, -3, 8}, {6, -3, 6}, {4, -3, 6}}, kQuadFace);
    ASSERT_EQ(s.camera->SetPosition(s.scene, 5, 1, 7), 0);
    ASSERT_EQ(s.camera->SetOrientation(s.scene, 0, -1, 0, 0, 0, 1), 0);
    s.render();
    // Depth 4, half size 1: 32 * 1 / 4 = 8 pixels each side of the centre.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool inside = x >= 8 && x < 24 && y >= 8 && y < 24;
            ASSERT_EQ(s.pixel(x, y) == kWhite, inside) << x << "," << y;
        }
}

TEST(Threads, PictureDoesNotDependOnTheWorkerCount) {
    const int before = retained::testing::rendererThreadCount();
    std::vector<std::vector<std::uint32_t>> pictures;
    for (int threads : {1, 2, 3, 5}) {
        retained::testing::setRendererThreadCount(threads);
        EXPECT_EQ(retained::testing::rendererThreadCount(), threads);
        Scene s(200, 150, D3DRMRENDER_GOURAUD);
        s.addLight(D3DRMLIGHT_AMBIENT, 0.2f, 0.2f, 0.2f);
        s.addLight(D3DRMLIGHT_POINT, 0.8f, 0.7f, 0.6f, {-2, 2, 0});
        // Two coplanar quads, the first drawn before ~100,000 sphere triangles and the second
        // after them: at equal depth the first drawn stays, so the triangles must be drawn in
        // the order given however the work is shared.
        s.addMesh(facingQuad(-3, -3, 3, 3, 5.5f), kQuadFace, 0xFF2040C0);
        for (int k = 0; k < 4; ++k)
            s.addMesh(sphereVertices(90, 110, 1.0f + 0.3f * k, 4.0f + k), sphereFaces(90, 110),
                      0xFF000000u | (0x40u << (8 * (k % 3))) | 0x808080u);
        s.addMesh(facingQuad(-3, -3, 3, 3, 5.5f), kQuadFace, 0xFFC04020);
        s.render();
        const std::uint32_t first = s.pixel(20, 10);
        // The first quad is mostly blue, the second mostly red.
        EXPECT_GT(channel(first, 0), 2 * channel(first, 16)) << std::hex << first;
        std::vector<std::uint32_t> picture;
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x)
                picture.push_back(s.pixel(x, y));
        pictures.push_back(picture);
    }
    retained::testing::setRendererThreadCount(before);
    for (std::size_t i = 1; i < pictures.size(); ++i)
        EXPECT_TRUE(pictures[i] == pictures[0]) << "thread setting " << i;
    EXPECT_GT(std::set<std::uint32_t>(pictures[0].begin(), pictures[0].end()).size(), 100u);
}

} // namespace

namespace {

// Random geometry of every scale, seen from random cameras through viewports of odd sizes and
// offsets: nothing may crash or write outside the viewport, whatever the coordinates.
TEST(Robustness, RandomGeometryStaysInsideTheViewport) {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed;
    };
    auto uniform = [&](double lo, double hi) {
        return lo + (hi - lo) * (next() >> 8) / 16777216.0;
    };
    const float scales[] = {0.01f, 1.0f, 30.0f, 1e4f, 1e8f, 1e20f};
    long drawn = 0;
    for (int round = 0; round < 24; ++round) {
        const int w = 1 + static_cast<int>(next() % 300), h = 1 + static_cast<int>(next() % 200);
        const int vx = static_cast<int>(next() % 40), vy = static_cast<int>(next() % 40);
        IDirect3DRM* rm = nullptr;
        ASSERT_EQ(Direct3DRMCreate(&rm), 0);
        IDirect3DRMFrame *scene = nullptr, *camera = nullptr, *meshes = nullptr;
        ASSERT_EQ(rm->CreateFrame(nullptr, &scene), 0);
        ASSERT_EQ(rm->CreateFrame(scene, &camera), 0);
        ASSERT_EQ(rm->CreateFrame(scene, &meshes), 0);
        ASSERT_EQ(scene->SetSceneBackground(0xFF010203), 0);
        IDirect3DRMLight* light = nullptr;
        ASSERT_EQ(rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 1, 1, 1, &light), 0);
        ASSERT_EQ(scene->AddLight(light), 0);
        light->Release();
        ASSERT_EQ(camera->SetPosition(nullptr, static_cast<float>(uniform(-5, 5)),
                                      static_cast<float>(uniform(-5, 5)),
                                      static_cast<float>(uniform(-5, 5))),
                  0);
        ASSERT_EQ(camera->SetOrientation(nullptr, static_cast<float>(uniform(-1, 1)),
                                         static_cast<float>(uniform(-1, 1)), 1, 0, 1, 0),
                  0);
        std::vector<D3DVECTOR> v;
        std::vector<DWORD> f;
        const float scale = scales[round % 6];
        for (int i = 0; i < 300; ++i)
            v.push_back({static_cast<float>(uniform(-1, 1) * scale),
                         static_cast<float>(uniform(-1, 1) * scale),
                         static_cast<float>(uniform(-1, 1) * scale)});
        for (int i = 0; i < 400; ++i) {
            const DWORD n = 3 + next() % 3;
            f.push_back(n);
            for (DWORD k = 0; k < n; ++k)
                f.push_back(next() % 300);
        }
        IDirect3DRMMeshBuilder* m = nullptr;
        ASSERT_EQ(rm->CreateMeshBuilder(&m), 0);
        ASSERT_EQ(
            m->AddFaces(300, v.data(), 0, nullptr, f.data(), static_cast<DWORD>(f.size()), nullptr),
            0);
        if (round % 2) {
            const std::uint32_t texels[6] = {1, 2, 3, 4, 5, 6};
            IDirect3DRMTexture* t = nullptr;
            ASSERT_EQ(retained::testing::createTexture(rm, 3, 2, texels, &t), 0);
            ASSERT_EQ(m->SetTexture(t), 0);
            t->Release();
            for (DWORD i = 0; i < 300; ++i)
                ASSERT_EQ(m->SetTextureCoordinates(i, static_cast<float>(uniform(-1e6, 1e6)),
                                                   static_cast<float>(uniform(-3, 3))),
                          0);
        }
        ASSERT_EQ(meshes->AddVisual(m), 0);
        m->Release();
        IDirect3DRMDevice* device = nullptr;
        ASSERT_EQ(rm->CreateDeviceOffscreen(w + vx + 7, h + vy + 5, &device), 0);
        ASSERT_EQ(device->SetQuality(round % 4 < 2 ? D3DRMRENDER_FLAT : D3DRMRENDER_GOURAUD), 0);
        IDirect3DRMViewport* vp = nullptr;
        ASSERT_EQ(rm->CreateViewport(device, camera, vx, vy, w, h, &vp), 0);
        ASSERT_EQ(vp->SetBack(static_cast<float>(uniform(2, 1e6))), 0);
        ASSERT_EQ(vp->Clear(), 0);
        ASSERT_EQ(vp->Render(scene), 0);
        const int stride = device->GetStrideBytes() / 4;
        const std::uint32_t* px = device->GetPixels();
        for (int y = 0; y < h + vy + 5; ++y)
            for (int x = 0; x < w + vx + 7; ++x) {
                if (x < vx || x >= vx + w || y < vy || y >= vy + h) {
                    ASSERT_EQ(px[y * stride + x], 0u) << "round " << round << " " << x << "," << y;
                } else {
                    drawn += px[y * stride + x] != 0x010203u;
                }
            }
        vp->Release();
        device->Release();
        meshes->Release();
        camera->Release();
        scene->Release();
        rm->Release();
    }
    EXPECT_GT(drawn, 10000); // the geometry was seen, not all thrown away
}

} // namespace
