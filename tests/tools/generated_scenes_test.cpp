#include "tools/scenegen/generated_scenes.h"
#include "tools/scenegen/scene_shapes.h"

#include "tests/viewer/scene_bytes.h"
#include "viewer/mesh_colour.h"
#include "viewer/scene_file.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

// The viewer's camera: placed at eye, looking along viewDir with up +z, in
// left-handed coordinates (right = up x forward); camera point (x, y, z) lands
// at pixel (W/2 + s*x/z, H/2 - s*y/z) with s = min(W, H).
struct Camera {
    Vec3d eye, right, up, forward;
    double w, h, s;
};

Vec3d sub(const Vec3d& a, const Vec3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3d cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3d unit(const Vec3d& a) {
    const double l = std::sqrt(dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

Camera cameraFor(const ViewerState& st, double w, double h) {
    Camera c;
    c.eye = st.pose.eye;
    c.forward = unit(sub(st.pose.target, st.pose.eye));
    const Vec3d z{0, 0, 1};
    c.up = unit(sub(z, {c.forward.x * dot(z, c.forward), c.forward.y * dot(z, c.forward),
                        c.forward.z * dot(z, c.forward)}));
    c.right = cross(c.up, c.forward);
    c.w = w;
    c.h = h;
    c.s = std::min(w, h);
    return c;
}

struct Pixel {
    double x, y, depth;
};

Pixel project(const Camera& c, const VertexEntry& v) {
    const Vec3d d = sub({v.x, v.y, v.z}, c.eye);
    const double x = dot(d, c.right), y = dot(d, c.up), z = dot(d, c.forward);
    return {c.w / 2 + c.s * x / z, c.h / 2 - c.s * y / z, z};
}

struct DemoMesh {
    SceneMeshInfo info;
    std::string name;
    std::vector<VertexEntry> vertices; // whole mesh
    std::vector<std::uint32_t> words;
};

struct DemoRead {
    std::unique_ptr<ViewerState> state = std::make_unique<ViewerState>();
    std::vector<DemoMesh> meshes;
};

const DemoRead& demo() {
    static const DemoRead d = [] {
        DemoRead r;
        std::string error;
        EXPECT_TRUE(writeGeneratedScene(testTempDir() + "/demo", makeDemoScene(), error)) << error;
        SceneReader reader;
        EXPECT_TRUE(openSceneFile(reader, (testTempDir() + "/demo/trans.dat").c_str()));
        SceneProgress p;
        const SceneRead res = readSceneMeshes(reader, *r.state, p, [&](const SceneMeshInfo& i) {
            const ViewerState& s = *r.state;
            r.meshes.push_back({i,
                                i.textureName ? i.textureName : "",
                                {s.VertexTable, s.VertexTable + s.meshVertexCount},
                                {s.FaceDataTable, s.FaceDataTable + s.meshFaceDataCount}});
        });
        EXPECT_EQ(res, SceneRead::ok) << reader.error.message;
        return r;
    }();
    return d;
}

template <class Fn> void forEachFace(const DemoMesh& m, Fn fn) {
    for (std::size_t i = 0; i < m.words.size() && m.words[i] != 0; i += m.words[i] + 1)
        fn(std::vector<std::uint32_t>(m.words.begin() + i + 1,
                                      m.words.begin() + i + 1 + m.words[i]));
}

TEST(DemoScene, UsesEveryRecordKindAndRule) {
    const DemoRead& d = demo();
    const ViewerState& s = *d.state;
    EXPECT_GT(s.ambientLevel, 0);
    EXPECT_GT(s.directionalLevel, 0);
    EXPECT_GT(s.pointLevel, 0);
    EXPECT_GT(s.spotLevel, 0);
    EXPECT_EQ(s.renderMode, 1);
    bool four = false, eight = false, large = false, fullChannel = false, mixed = false;
    for (const DemoMesh& m : d.meshes) {
        const std::size_t n = m.vertices.size();
        if (m.info.kind == MeshKind::textured) {
            four |= n == 4;
            eight |= n == 8;
            large |= n >= 20;
        } else {
            const std::uint32_t w = m.info.colourWord;
            for (int ch = 0; ch < 3; ++ch) {
                const std::uint32_t c = (w >> (8 * ch)) & 0xFF;
                fullChannel |= c == 255;
                mixed |= c != 0 && c != 255;
            }
        }
        // Every face list is complete and names only the mesh's own vertices.
        const FaceDataSummary f =
            summarizeFaceData(m.words.data(), static_cast<std::int32_t>(m.words.size()));
        EXPECT_TRUE(f.terminated) << m.info.offset;
        EXPECT_LT(f.maxIndex, n) << m.info.offset;
        EXPECT_GT(f.faces, 0u) << m.info.offset;
    }
    EXPECT_TRUE(four && eight && large && fullChannel && mixed);
}

TEST(DemoScene, LargeTexturedMeshCarriesCoordinatesFourEntriesOn) {
    const DemoRead& d = demo();
    const auto it = std::find_if(d.meshes.begin(), d.meshes.end(), [](const DemoMesh& m) {
        return m.info.kind == MeshKind::textured && m.vertices.size() >= 20;
    });
    ASSERT_NE(it, d.meshes.end());
    const DemoMesh& m = *it;
    EXPECT_LE(m.vertices.size(), 299996u);
    // Every vertex a face uses gets (u, v) in 0..1 from entry j + 4, inside the
    // mesh; the coordinates span the whole texture.
    float umin = 1, umax = 0, vmin = 1, vmax = 0;
    forEachFace(m, [&](const std::vector<std::uint32_t>& f) {
        for (std::uint32_t j : f) {
            ASSERT_LT(j + 4, m.vertices.size());
            const VertexEntry& uv = m.vertices[j + 4];
            EXPECT_TRUE(uv.x >= 0 && uv.x <= 1 && uv.y >= 0 && uv.y <= 1) << j;
            umin = std::min(umin, uv.x), umax = std::max(umax, uv.x);
            vmin = std::min(vmin, uv.y), vmax = std::max(vmax, uv.y);
        }
    });
    EXPECT_EQ(umin, 0.0f);
    EXPECT_EQ(umax, 1.0f);
    EXPECT_EQ(vmin, 0.0f);
    EXPECT_EQ(vmax, 1.0f);
}

// Seen from the camera, front faces run clockwise on the screen; the visible
// textured quads show their texture upright (vertex 0, texture (0,0), at the
// top left).
TEST(DemoScene, FacesTowardTheCameraRunClockwiseOnTheScreen) {
    const DemoRead& d = demo();
    const Camera cam = cameraFor(*d.state, 1024, 768);
    const DemoMesh& floor = d.meshes[0];
    ASSERT_EQ(floor.vertices.size(), 4u);
    std::vector<Pixel> px;
    for (const VertexEntry& v : floor.vertices)
        px.push_back(project(cam, v));
    forEachFace(floor, [&](const std::vector<std::uint32_t>& f) {
        double area = 0;
        for (std::size_t k = 0; k < f.size(); ++k) {
            const Pixel& a = px[f[k]];
            const Pixel& b = px[f[(k + 1) % f.size()]];
            area += a.x * b.y - b.x * a.y;
        }
        EXPECT_GT(area, 0) << "clockwise with y down";
    });
    // Vertex 0 is the floor's far left corner, vertex 2 its near right one.
    EXPECT_LT(px[0].x, px[1].x);
    EXPECT_LT(px[0].y, px[3].y);
    EXPECT_GT(px[2].x, px[3].x);

    // Closed solids: every face's normal points away from the solid's centre.
    for (const DemoMesh& m : d.meshes) {
        if (m.vertices.size() >= 20 && m.info.kind == MeshKind::textured)
            continue; // the open panel
        if (&m == &floor)
            continue;
        Vec3d c{};
        for (const VertexEntry& v : m.vertices) {
            c.x += v.x / m.vertices.size();
            c.y += v.y / m.vertices.size();
            c.z += v.z / m.vertices.size();
        }
        forEachFace(m, [&](const std::vector<std::uint32_t>& f) {
            const auto at = [&](std::uint32_t i) {
                return Vec3d{m.vertices[i].x, m.vertices[i].y, m.vertices[i].z};
            };
            const Vec3d n = cross(sub(at(f[1]), at(f[0])), sub(at(f[2]), at(f[0])));
            EXPECT_GT(dot(n, sub(at(f[0]), c)), 0) << "mesh at " << m.info.offset;
        });
    }
}

TEST(DemoScene, ObjectsStandInFrontOfTheCameraAndFillTheView) {
    const DemoRead& d = demo();
    const Camera cam = cameraFor(*d.state, 1024, 768);
    double xmin = 1e9, xmax = -1e9, ymin = 1e9, ymax = -1e9;
    for (std::size_t i = 1; i < d.meshes.size(); ++i) { // all but the floor
        const DemoMesh& m = d.meshes[i];
        forEachFace(m, [&](const std::vector<std::uint32_t>& f) {
            for (std::uint32_t j : f) {
                const Pixel p = project(cam, m.vertices[j]);
                EXPECT_GT(p.depth, 1.0) << "beyond the front clip";
                EXPECT_LT(p.depth, 5000.0);
                xmin = std::min(xmin, p.x), xmax = std::max(xmax, p.x);
                ymin = std::min(ymin, p.y), ymax = std::max(ymax, p.y);
            }
        });
    }
    EXPECT_GE(xmin, 0);
    EXPECT_LE(xmax, 1024);
    EXPECT_GE(ymin, 0);
    EXPECT_LE(ymax, 768);
    EXPECT_GT(xmax - xmin, 0.6 * 1024) << "the scene fills the width";
    EXPECT_GT(ymax - ymin, 0.5 * 768);
}

TEST(DemoScene, TexturesNamedInTheFileExistAndLoad) {
    const DemoRead& d = demo();
    for (const DemoMesh& m : d.meshes) {
        if (m.info.kind != MeshKind::textured)
            continue;
        QImage img(QString::fromStdString(testTempDir() + "/demo/" + m.name));
        EXPECT_FALSE(img.isNull()) << m.name;
        EXPECT_GE(img.width(), 64) << m.name;
    }
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DemoScene, OutputIsDeterministic) {
    std::string error;
    const GeneratedScene g = makeDemoScene();
    ASSERT_TRUE(writeGeneratedScene(testTempDir() + "/demo-a", g, error)) << error;
    ASSERT_TRUE(writeGeneratedScene(testTempDir() + "/demo-b", makeDemoScene(), error)) << error;
    for (const std::string name :
         {"trans.dat", "floor.bmp", "panel.bmp", "crate.bmp", "marble.bmp"}) {
        const std::string a = slurp(testTempDir() + "/demo-a/" + name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_EQ(a, slurp(testTempDir() + "/demo-b/" + name)) << name;
    }
}

TEST(SphereScene, HoldsOneColouredSphereOfAboutNTriangles) {
    const GeneratedScene g = makeSphereScene(5000);
    ASSERT_TRUE(g.scene.texturedMeshes.empty());
    ASSERT_EQ(g.scene.colouredMeshes.size(), 1u);
    const SceneMeshData& m = g.scene.colouredMeshes[0];
    const FaceDataSummary s =
        summarizeFaceData(m.faceData.data(), static_cast<std::int32_t>(m.faceData.size()));
    EXPECT_NEAR(double(s.faces), 5000.0, 500.0);
    EXPECT_TRUE(s.terminated);
    EXPECT_TRUE(g.textures.empty());
}

} // namespace

namespace {

TEST(EdgeScenes, EachFileIsReadOrRefusedAsItsNameSays) {
    const std::string dir = testTempDir() + "/edges";
    std::string error;
    ASSERT_TRUE(writeEdgeScenes(dir, error)) << error;
    const std::vector<EdgeSceneFile> files = makeEdgeScenes();
    ASSERT_GE(files.size(), 10u);
    for (const EdgeSceneFile& f : files) {
        auto state = std::make_unique<ViewerState>();
        SceneReader reader;
        ASSERT_TRUE(openSceneFile(reader, (dir + "/" + f.fileName).c_str())) << f.fileName;
        EXPECT_EQ(reader.fileSize, f.bytes.size()) << f.fileName;
        SceneProgress p;
        const SceneRead r = readSceneMeshes(reader, *state, p, [](const SceneMeshInfo&) {});
        EXPECT_EQ(r == SceneRead::ok, f.wellFormed) << f.fileName << ": " << reader.error.message;
    }
}

} // namespace
