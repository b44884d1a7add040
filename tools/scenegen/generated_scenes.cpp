#include "tools/scenegen/generated_scenes.h"

#include "tools/scenegen/scene_shapes.h"
#include "viewer/scene_file.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace {

// ---- Deterministic procedural texture helpers --------------------------------

std::uint32_t hash2(int x, int y, std::uint32_t seed) {
    std::uint32_t h = seed * 0x9E3779B1u ^ static_cast<std::uint32_t>(x) * 0x85EBCA77u ^
                      static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

double lattice(int x, int y, std::uint32_t seed) {
    return (hash2(x, y, seed) & 0xFFFF) / 65535.0;
}

// Smooth value noise in 0..1, repeating every `period` lattice cells so that
// textures tile.
double valueNoise(double x, double y, int period, std::uint32_t seed) {
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    auto at = [&](int i, int j) {
        return lattice(((i % period) + period) % period, ((j % period) + period) % period, seed);
    };
    const double a = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
    const double b = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
    return a + (b - a) * sy;
}

double fractalNoise(double x, double y, int period, std::uint32_t seed, int octaves = 4) {
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * valueNoise(x, y, period, seed + static_cast<std::uint32_t>(o));
        norm += amp;
        x *= 2;
        y *= 2;
        period *= 2;
        amp *= 0.5;
    }
    return sum / norm;
}

int clampByte(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

QRgb rgb(double r, double g, double b) {
    return qRgb(clampByte(r), clampByte(g), clampByte(b));
}

QRgb mix(QRgb a, QRgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return rgb(qRed(a) + (qRed(b) - qRed(a)) * t, qGreen(a) + (qGreen(b) - qGreen(a)) * t,
               qBlue(a) + (qBlue(b) - qBlue(a)) * t);
}

template <class Pixel> QImage paint(int w, int h, Pixel pixel) {
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, pixel(x, y));
    return img;
}

// Stone tiles with grout, 8 x 8 across the image.
QImage floorTexture() {
    constexpr int size = 512, tiles = 8, cell = size / tiles;
    return paint(size, size, [](int x, int y) {
        const int tx = x / cell, ty = y / cell;
        const int gx = x % cell, gy = y % cell;
        const double n = fractalNoise(x / 32.0, y / 32.0, size / 32, 11);
        if (gx < 3 || gy < 3)
            return rgb(70 + 30 * n, 66 + 28 * n, 60 + 25 * n);
        const double shade = 0.82 + 0.18 * lattice(tx, ty, 5);
        const QRgb light = rgb(214 * shade, 196 * shade, 160 * shade);
        const QRgb dark = rgb(150 * shade, 118 * shade, 92 * shade);
        return mix((tx + ty) % 2 ? dark : light, rgb(120, 100, 80), 0.35 * (n - 0.3));
    });
}

// Wooden crate: horizontal planks with grain inside a dark frame and a cross brace.
QImage crateTexture() {
    constexpr int size = 256;
    return paint(size, size, [](int x, int y) {
        const int border = 22;
        const bool frame = x < border || y < border || x >= size - border || y >= size - border;
        const double diag = std::abs(x - y) < 14 ? 1.0 : 0.0;
        const double grainNoise = fractalNoise(x / 64.0, y / 16.0, 4, 21);
        const double grain = 0.5 + 0.5 * std::sin(x * 0.09 + grainNoise * 9.0 + (y / 32) * 1.7);
        const QRgb wood = mix(rgb(196, 142, 82), rgb(142, 92, 46), grain);
        if (frame || diag > 0)
            return mix(wood, rgb(92, 58, 28), 0.55);
        const bool seam = y % 32 < 2;
        return seam ? mix(wood, rgb(60, 36, 16), 0.7) : wood;
    });
}

// White-green marble with dark veins.
QImage marbleTexture() {
    constexpr int size = 256;
    return paint(size, size, [](int x, int y) {
        const double t = fractalNoise(x / 32.0, y / 32.0, size / 32, 31, 5);
        const double vein = std::abs(std::sin((x + y) * 0.035 + t * 11.0));
        const QRgb base = mix(rgb(236, 240, 232), rgb(170, 205, 185), t);
        return mix(rgb(40, 70, 60), base, std::pow(vein, 0.35));
    });
}

// A sunset over the sea with hills, for the large panel (u left to right, v top to bottom).
QImage panelTexture() {
    constexpr int w = 512, h = 256;
    return paint(w, h, [](int x, int y) {
        const double u = x / double(w), v = y / double(h);
        const double horizon = 0.62;
        const double sunX = 0.68, sunY = 0.5, sunR = 0.09;
        // Hills on the left, sinking into the sea toward the middle.
        const double fade = std::clamp((0.62 - u) / 0.3, 0.0, 1.0);
        const double rise = 0.07 + 0.04 * std::sin(u * 9.0) + 0.025 * std::sin(u * 23.0 + 1.0) +
                            0.02 * fractalNoise(u * 8, 0.5, 8, 41);
        const double hill = horizon - rise * fade * fade * (3 - 2 * fade);
        if (v < horizon) {
            const double dx = (u - sunX) * 2.0, dy = v - sunY;
            const double d = std::sqrt(dx * dx + dy * dy);
            QRgb sky = mix(rgb(40, 40, 110), rgb(250, 150, 70), v / horizon);
            sky = mix(sky, rgb(255, 230, 140), std::max(0.0, 1.0 - d / 0.35) * 0.6);
            if (d < sunR)
                sky = rgb(255, 244, 190);
            if (v > hill)
                return mix(rgb(60, 40, 70), rgb(35, 25, 45), (v - hill) / 0.1);
            return sky;
        }
        // Water: mirrored sky, darker, with ripples.
        const double mv = 2 * horizon - v;
        const double ripple =
            0.5 + 0.5 * std::sin(v * 180.0 + fractalNoise(u * 16, v * 4, 16, 51) * 6);
        QRgb water = mix(rgb(250, 150, 70), rgb(40, 40, 110), (horizon - mv) / horizon + 0.2);
        water = mix(water, rgb(20, 30, 70), 0.45);
        if (std::abs(u - sunX) < 0.06 * (1.0 - (v - horizon)) && ripple > 0.5)
            water = mix(water, rgb(255, 220, 150), 0.7);
        return mix(water, rgb(15, 20, 50), 0.25 * ripple);
    });
}

SceneMeshData textured(SceneMeshData mesh, const char* texture) {
    mesh.textureName = texture;
    return mesh;
}

SceneMeshData coloured(SceneMeshData mesh, std::uint32_t colourWord) {
    mesh.colourWord = colourWord;
    return mesh;
}

} // namespace

GeneratedScene makeDemoScene() {
    GeneratedScene g;
    SceneData& s = g.scene;
    s.eye = {0.0, -30.0, 12.0};
    s.target = {0.0, 2.0, 4.0};
    s.lightPos = {-12.0, -22.0, 26.0};
    s.lightTarget = {0.0, 2.0, 0.0};
    s.ambientLevel = 0.3;
    s.directionalLevel = 0.65;
    s.pointLevel = 0.35;
    s.spotLevel = 0.45;
    s.moveStep = 1.0;
    s.renderMode = 1;

    s.texturedMeshes = {
        textured(makeFloor(30, -30, -30, 30, 0), "floor.bmp"),
        textured(makeCurvedPanel({0, 17, 9.5}, 38, 17, 4.5, 16, 9), "panel.bmp"),
        textured(makeBox({-9, -2, 2.5}, 5, 5, 5), "crate.bmp"),
        textured(makeBox({-5, 7, 1.75}, 3.5, 3.5, 3.5), "crate.bmp"),
        textured(makeTetrahedron({12, 6, 0}, 3.2, 7), "marble.bmp"),
    };
    s.colouredMeshes = {
        coloured(makeSphere({3.5, -5, 3}, 3, 16, 32), 0x000000FF),    // full red
        coloured(makeOctahedron({0, 5, 5.5}, 2, 3), 0x00E0A040),      // mixed: sea blue
        coloured(makeCylinder({13, -7, 0}, 1.5, 7, 24), 0xFF00FF00),  // full green, top byte set
        coloured(makeSphere({-3, -9, 1.3}, 1.3, 10, 20), 0x0060C0FF), // mixed: amber
        coloured(makeBox({-13, 8, 4}, 2, 2, 8), 0x00FFFFFF),          // white column
    };
    g.textures = {
        {"floor.bmp", floorTexture()},
        {"panel.bmp", panelTexture()},
        {"crate.bmp", crateTexture()},
        {"marble.bmp", marbleTexture()},
    };
    return g;
}

GeneratedScene makeSphereScene(long long triangles) {
    GeneratedScene g;
    SceneData& s = g.scene;
    s.eye = {0.0, -32.0, 8.0};
    s.target = {0.0, 0.0, 0.0};
    s.lightPos = {-20.0, -30.0, 30.0};
    s.lightTarget = {0.0, 0.0, 0.0};
    s.ambientLevel = 0.25;
    s.directionalLevel = 0.7;
    s.pointLevel = 0.3;
    s.spotLevel = 0.4;
    s.moveStep = 1.0;
    s.renderMode = 1;
    const int stacks = sphereStacksForTriangles(triangles);
    s.colouredMeshes.push_back(coloured(makeSphere({0, 0, 0}, 10, stacks, 2 * stacks), 0x0040A0F0));
    return g;
}

std::vector<EdgeSceneFile> makeEdgeScenes() {
    SceneData head;
    head.eye = {5.0, -40.0, 10.0};
    head.lightPos = {-3.0, -5.0, 20.0};
    head.ambientLevel = 0.5;
    head.directionalLevel = 0.5;
    head.moveStep = 2.0;
    head.renderMode = 1;
    SceneMeshData triangle;
    triangle.vertices = {{1.5, 2.0, -4.0}, {-1.5, 2.0, -4.0}, {0.0, 2.0, 0.0}};
    triangle.faceData = {3, 0, 1, 2, 0};

    // Each file: the header, then what `more` appends.
    auto file = [&](const char* name, bool ok, auto more, std::int32_t renderMode = 1) {
        SceneFieldWriter w;
        SceneData h = head;
        h.renderMode = renderMode;
        w.header(h);
        more(w);
        return EdgeSceneFile{name, std::move(w.bytes), ok};
    };
    std::vector<EdgeSceneFile> files = {
        file("header-only.dat", true, [](SceneFieldWriter& w) { w.u32(0); }),
        file(
            "render-mode-2.dat", true, [](SceneFieldWriter& w) { w.u32(0); }, 2),
        file("empty-geometry.dat", true,
             [](SceneFieldWriter& w) {
                 w.u32(0);
                 w.u32(0x000000FF);
                 w.geometry({}); // n = 0, m = 0: 8 bytes
             }),
        file("name-of-100-chars.dat", true,
             [&](SceneFieldWriter& w) {
                 w.u32(1);
                 w.textureName(std::string(96, 'n') + ".bmp");
                 w.geometry(triangle);
             }),
        file("colour-top-byte.dat", true,
             [&](SceneFieldWriter& w) {
                 w.u32(0);
                 w.u32(0xFF0000FF); // same colour as 0x000000FF
                 w.geometry(triangle);
             }),
        file("count-0x80000000.dat", false, [](SceneFieldWriter& w) { w.u32(0x80000000u); }),
        file("name-without-nul.dat", false,
             [&](SceneFieldWriter& w) {
                 w.u32(1);
                 w.textureName(std::string(101, 'a'));
                 w.geometry(triangle);
             }),
        file("colour-word-3-bytes.dat", false,
             [](SceneFieldWriter& w) {
                 w.u32(0);
                 w.bytes += std::string("\xFF\x00\x00", 3);
             }),
        file("negative-vertex-count.dat", false,
             [](SceneFieldWriter& w) {
                 w.u32(0);
                 w.u32(0x00FFFFFF);
                 w.i32(-1);
             }),
        file("vertex-count-300001.dat", false,
             [](SceneFieldWriter& w) {
                 w.u32(0);
                 w.u32(0x00FFFFFF);
                 w.i32(kMeshTableCapacity + 1);
             }),
        file("textured-299997.dat", false,
             [](SceneFieldWriter& w) {
                 w.u32(1);
                 w.textureName("big.bmp");
                 w.i32(kMaxLargeTexturedVertexCount + 1);
             }),
        file("cut-in-vertex.dat", false,
             [&](SceneFieldWriter& w) {
                 w.u32(0);
                 w.u32(0x0000FF00);
                 w.geometry(triangle);
                 w.bytes.resize(w.bytes.size() - 40);
             }),
    };
    SceneFieldWriter cut;
    cut.header(head);
    cut.bytes.resize(100);
    files.push_back({"cut-header.dat", cut.bytes, false});
    return files;
}

bool writeEdgeScenes(const std::string& dir, std::string& error) {
    if (!QDir().mkpath(QString::fromStdString(dir))) {
        error = "cannot create folder " + dir;
        return false;
    }
    for (const EdgeSceneFile& f : makeEdgeScenes()) {
        const std::string path = dir + "/" + f.fileName;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        const bool ok =
            out && std::fwrite(f.bytes.data(), 1, f.bytes.size(), out) == f.bytes.size();
        if (out && std::fclose(out) != 0)
            error = "cannot write " + path;
        if (!ok || !error.empty()) {
            error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

bool writeGeneratedScene(const std::string& dir, const GeneratedScene& g, std::string& error) {
    const QString qdir = QString::fromStdString(dir);
    if (!QDir().mkpath(qdir)) {
        error = "cannot create folder " + dir;
        return false;
    }
    if (!writeSceneFile(dir + "/" + kSceneFileName, g.scene, error))
        return false;
    for (const SceneTexture& t : g.textures) {
        const QString path = qdir + "/" + QString::fromStdString(t.fileName);
        if (!t.image.save(path, "BMP")) {
            error = "cannot write " + path.toStdString();
            return false;
        }
    }
    return true;
}
