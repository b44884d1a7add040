// Textured faces: perspective-correct sampling, wrapping, nearest texels, odd and tiny sizes,
// texture times lit colour.
#include "tests/retained/engine_fixture.h"

#include <cmath>

using namespace enginetest;

namespace {

// A texel colour that names its position.
std::uint32_t texelColour(int x, int y) {
    return static_cast<std::uint32_t>(((x * 37 + 11) & 255) << 16 | ((y * 53 + 7) & 255) << 8 |
                                      0x5A);
}

std::vector<std::uint32_t> namedTexels(int w, int h) {
    std::vector<std::uint32_t> p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.push_back(texelColour(x, y));
    return p;
}

IDirect3DRMMeshBuilder* texturedMesh(Scene& s, const std::vector<D3DVECTOR>& quad,
                                     const float uv[4][2], int tw, int th) {
    IDirect3DRMMeshBuilder* m = s.addMesh(quad, kQuadFace);
    IDirect3DRMTexture* t = nullptr;
    const auto texels = namedTexels(tw, th);
    EXPECT_EQ(retained::testing::createTexture(s.rm, tw, th, texels.data(), &t), 0);
    EXPECT_EQ(m->SetTexture(t), 0);
    t->Release(); // the mesh builder keeps it
    for (DWORD i = 0; i < 4; ++i)
        EXPECT_EQ(m->SetTextureCoordinates(i, uv[i][0], uv[i][1]), 0);
    return m;
}

double fraction(double f) {
    return f - std::floor(f);
}
bool nearInteger(double f, double eps) {
    return std::fabs(f - std::round(f)) < eps;
}

// A floor (y = -0.25) from z = 1 to z = 5 with v = z - 1 and u across: the texel seen at each
// pixel follows the perspective division, not a straight interpolation over the screen.
TEST(Texture, SlantedPlaneSamplesThePerspectiveCorrectTexel) {
    const int size = 64, tw = 4, th = 4;
    Scene s(size, size);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    const float uv[4][2] = {{0, 4}, {1, 4}, {1, 0}, {0, 0}};
    texturedMesh(s, {{-1, -0.25f, 5}, {1, -0.25f, 5}, {1, -0.25f, 1}, {-1, -0.25f, 1}}, uv, tw, th);
    s.render();
    int checked = 0, affineWouldDiffer = 0;
    for (int y = 36; y < 48; ++y)
        for (int x = 0; x < size; ++x) {
            const double cx = x + 0.5, cy = y + 0.5;
            const double z = 16.0 / (cy - 32);
            const double px = (cx - 32) * z / 64;
            if (std::fabs(px) > 0.98)
                continue;
            const double u = (px + 1) / 2, v = z - 1;
            if (nearInteger(u * tw, 0.05) || nearInteger(v * th, 0.05))
                continue;
            const int tx = static_cast<int>(fraction(u) * tw),
                      ty = static_cast<int>(fraction(v) * th);
            ASSERT_EQ(s.pixel(x, y), texelColour(tx, ty)) << "pixel " << x << "," << y;
            ++checked;
            // What straight screen-space interpolation of v would have given on this row.
            const double vAffine = 4.0 * (48.0 - cy) / (48.0 - 35.2);
            affineWouldDiffer += static_cast<int>(fraction(vAffine) * th) != ty;
        }
    EXPECT_GT(checked, 200);
    EXPECT_GT(affineWouldDiffer, 50);
}

struct WrapCase {
    int tw, th;
};

class TextureWrap : public ::testing::TestWithParam<WrapCase> {};

// A quad facing the camera, filling the view, with u and v running from -1 to 2: three repeats
// of the texture each way, nearest texel.
TEST_P(TextureWrap, CoordinatesRepeatTheTexture) {
    const WrapCase& c = GetParam();
    const int size = 48;
    Scene s(size, size, D3DRMRENDER_GOURAUD);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    const float uv[4][2] = {{-1, -1}, {2, -1}, {2, 2}, {-1, 2}};
    texturedMesh(s, facingQuad(-1.5f, -1.5f, 1.5f, 1.5f, 3), uv, c.tw, c.th);
    s.render();
    int checked = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double u = -1 + 3 * (x + 0.5) / size, v = -1 + 3 * (y + 0.5) / size;
            if (nearInteger(u * c.tw, 0.02) || nearInteger(v * c.th, 0.02))
                continue;
            const int tx = static_cast<int>(fraction(u) * c.tw);
            const int ty = static_cast<int>(fraction(v) * c.th);
            ASSERT_EQ(s.pixel(x, y), texelColour(tx, ty)) << "pixel " << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, size * size / 2);
}

INSTANTIATE_TEST_SUITE_P(Texture, TextureWrap,
                         ::testing::Values(WrapCase{1, 1}, WrapCase{2, 2}, WrapCase{3, 5},
                                           WrapCase{7, 1}, WrapCase{16, 9}));

TEST(Texture, ShowsTextureTimesLitColour) {
    Scene s(16, 16);
    s.addLight(D3DRMLIGHT_AMBIENT, 0.6f, 0.6f, 0.6f);
    IDirect3DRMMeshBuilder* m = s.addMesh(facingQuad(-1, -1, 1, 1, 2), kQuadFace, 0xFFFFFF80);
    const std::uint32_t texel = 0x00FF8040;
    IDirect3DRMTexture* t = nullptr;
    ASSERT_EQ(retained::testing::createTexture(s.rm, 1, 1, &texel, &t), 0);
    ASSERT_EQ(m->SetTexture(t), 0);
    t->Release();
    s.render();
    // red 255 x 0.6 = 153; green 128 x 0.6 = 76.8; blue 64 x (128 / 255 x 0.6) = 19.3.
    EXPECT_EQ(s.pixel(8, 8), (153u << 16) | (77u << 8) | 19u);
}

TEST(Texture, DefaultCoordinatesSampleTheTopLeftTexel) {
    Scene s(16, 16);
    s.addLight(D3DRMLIGHT_AMBIENT, 1, 1, 1);
    IDirect3DRMMeshBuilder* m = s.addMesh(facingQuad(-1, -1, 1, 1, 2), kQuadFace);
    const auto texels = namedTexels(5, 3);
    IDirect3DRMTexture* t = nullptr;
    ASSERT_EQ(retained::testing::createTexture(s.rm, 5, 3, texels.data(), &t), 0);
    ASSERT_EQ(m->SetTexture(t), 0);
    t->Release();
    s.render();
    EXPECT_EQ(s.pixel(3, 12), texelColour(0, 0));
    EXPECT_EQ(s.pixel(12, 3), texelColour(0, 0));
}

} // namespace
