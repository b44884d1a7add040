#include "tools/scenegen/scene_shapes.h"
#include "tools/scenegen/scene_writer.h"

#include "tests/viewer/scene_bytes.h"
#include "viewer/scene_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>

namespace {

bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

struct ReadMesh {
    SceneMeshInfo info;
    std::string name;
    std::vector<VertexEntry> vertices;
    std::vector<std::uint32_t> words;
};

SceneData sampleScene() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(-1000.0, 1000.0);
    auto mesh = [&](std::size_t n, std::size_t m) {
        SceneMeshData d;
        for (std::size_t i = 0; i < n; ++i)
            d.vertices.push_back({coord(rng), coord(rng), coord(rng)});
        for (std::size_t j = 0; j < m; ++j)
            d.faceData.push_back(static_cast<std::uint32_t>(rng()));
        return d;
    };
    SceneData s;
    s.eye = {1.0 / 3.0, -40.0, -0.0};
    s.target = {-7.5, 1e-310, 2.0};
    s.lightPos = {std::numeric_limits<double>::infinity(), 3.0, 4.0};
    s.lightTarget = {5.0, std::nan(""), 6.0};
    s.ambientLevel = 0.1;
    s.directionalLevel = 0.2;
    s.pointLevel = 0.3;
    s.spotLevel = 0.4;
    s.moveStep = 2.5;
    s.renderMode = -1;
    s.texturedMeshes = {mesh(4, 6), mesh(8, 31), mesh(25, 60), mesh(0, 0)};
    s.texturedMeshes[0].textureName = "floor.bmp";
    s.texturedMeshes[1].textureName = std::string(100, 'x');
    s.texturedMeshes[2].textureName = "\xEC\x9E\x90.bmp";
    s.texturedMeshes[3].textureName = "";
    s.colouredMeshes = {mesh(3, 5), mesh(0, 0), mesh(40000, 70000)};
    s.colouredMeshes[0].colourWord = 0xFF0000FF;
    s.colouredMeshes[2].colourWord = 0x00804020;
    return s;
}

TEST(SceneWriter, RoundTripThroughTheReader) {
    const SceneData scene = sampleScene();
    std::string error;
    const std::string path = testTempDir() + "/roundtrip.dat";
    ASSERT_TRUE(writeSceneFile(path, scene, error)) << error;

    auto state = std::make_unique<ViewerState>();
    SceneReader reader;
    ASSERT_TRUE(openSceneFile(reader, path.c_str()));
    SceneProgress progress;
    std::vector<ReadMesh> meshes;
    const SceneRead r = readSceneMeshes(reader, *state, progress, [&](const SceneMeshInfo& info) {
        meshes.push_back({info,
                          info.textureName ? info.textureName : "",
                          {state->VertexTable, state->VertexTable + state->meshVertexCount},
                          {state->FaceDataTable, state->FaceDataTable + state->meshFaceDataCount}});
    });
    ASSERT_EQ(r, SceneRead::ok) << reader.error.message;

    const Vec3d* want[4] = {&scene.eye, &scene.target, &scene.lightPos, &scene.lightTarget};
    const Vec3d* got[4] = {&state->pose.eye, &state->pose.target, &state->pose.lightPos,
                           &state->pose.lightTarget};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(sameBits(want[i]->x, got[i]->x)) << i;
        EXPECT_TRUE(sameBits(want[i]->y, got[i]->y)) << i;
        EXPECT_TRUE(sameBits(want[i]->z, got[i]->z)) << i;
    }
    EXPECT_EQ(state->ambientLevel, scene.ambientLevel);
    EXPECT_EQ(state->spotLevel, scene.spotLevel);
    EXPECT_EQ(state->moveStep, scene.moveStep);
    EXPECT_EQ(state->renderMode, scene.renderMode);
    EXPECT_EQ(progress.texturedMeshCount, scene.texturedMeshes.size());

    ASSERT_EQ(meshes.size(), scene.texturedMeshes.size() + scene.colouredMeshes.size());
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        const bool textured = i < scene.texturedMeshes.size();
        const SceneMeshData& src = textured ? scene.texturedMeshes[i]
                                            : scene.colouredMeshes[i - scene.texturedMeshes.size()];
        const ReadMesh& m = meshes[i];
        EXPECT_EQ(m.info.kind, textured ? MeshKind::textured : MeshKind::coloured) << i;
        if (textured)
            EXPECT_EQ(m.name, src.textureName) << i;
        else
            EXPECT_EQ(m.info.colourWord, src.colourWord) << i;
        ASSERT_EQ(m.vertices.size(), src.vertices.size()) << i;
        int bad = 0;
        for (std::size_t k = 0; k < src.vertices.size(); ++k) {
            bad += m.vertices[k].x != static_cast<float>(src.vertices[k].x);
            bad += m.vertices[k].y != static_cast<float>(src.vertices[k].y);
            bad += m.vertices[k].z != static_cast<float>(src.vertices[k].z);
        }
        EXPECT_EQ(bad, 0) << "mesh " << i;
        EXPECT_EQ(m.words, src.faceData) << i;
    }
}

TEST(SceneWriter, WritesTheLayoutFieldByField) {
    // Cross-check against the independent byte builder the reader tests use.
    SceneData s;
    s.eye = {5, -40, 10};
    s.lightPos = {-3, -5, 20};
    s.moveStep = 1.5;
    s.renderMode = 1;
    SceneMeshData t;
    t.textureName = "a.bmp";
    t.vertices = {{1.5, 2, -4}};
    t.faceData = {0};
    s.texturedMeshes = {t};
    SceneMeshData c;
    c.colourWord = 0x00804020;
    s.colouredMeshes = {c};
    std::ostringstream out;
    std::string error;
    ASSERT_TRUE(writeScene(out, s, error)) << error;

    SceneBytes b;
    b.header({-5, -40, 10, -0.0, 0, 0, 3, -5, 20, -0.0, 0, 0}, {0, 0, 0, 0, 1.5}, 1).u32(1);
    b.name("a.bmp").geometry({{-1.5, 2, -4}}, {0});
    b.u32(0x00804020).geometry({}, {});
    EXPECT_EQ(out.str(), b.bytes);
}

struct InvalidCase {
    const char* label;
    void (*spoil)(SceneData&);
    const char* reason;
};

TEST(SceneWriter, RefusesWhatTheReaderWouldRefuse) {
    const InvalidCase cases[] = {
        {"name of 101 bytes",
         [](SceneData& s) { s.texturedMeshes[0].textureName.assign(101, 'a'); }, "longer than 100"},
        {"NUL in name",
         [](SceneData& s) { s.texturedMeshes[0].textureName = std::string("a\0b", 3); }, "NUL"},
        {"textured 299997 vertices",
         [](SceneData& s) { s.texturedMeshes[0].vertices.resize(299997); }, "299996"},
        {"coloured 300001 vertices",
         [](SceneData& s) { s.colouredMeshes[0].vertices.resize(300001); }, "300000 vertices"},
        {"300001 face words", [](SceneData& s) { s.colouredMeshes[0].faceData.resize(300001); },
         "face data"},
    };
    for (const InvalidCase& c : cases) {
        SceneData s;
        s.texturedMeshes.resize(1);
        s.texturedMeshes[0].textureName = "ok.bmp";
        s.colouredMeshes.resize(1);
        c.spoil(s);
        std::ostringstream out;
        std::string error;
        EXPECT_FALSE(writeScene(out, s, error)) << c.label;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.label << ": " << error;
        EXPECT_TRUE(out.str().empty()) << c.label << ": nothing written";
    }
}

TEST(SceneWriter, UnwritablePathIsAnError) {
    std::string error;
    EXPECT_FALSE(writeSceneFile(testTempDir() + "/no/such/dir/trans.dat", SceneData{}, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

// ---- Shapes -------------------------------------------------------------------

Vec3d sub(const Vec3d& a, const Vec3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3d cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Calls fn(face indices) for every face; checks the list is complete.
template <class Fn> void forEachFace(const SceneMeshData& m, Fn fn) {
    const FaceDataSummary s =
        summarizeFaceData(m.faceData.data(), static_cast<std::int32_t>(m.faceData.size()));
    ASSERT_TRUE(s.terminated);
    ASSERT_EQ(s.wordsUsed, static_cast<std::int32_t>(m.faceData.size()));
    ASSERT_LT(s.maxIndex, m.vertices.size());
    for (std::size_t i = 0; m.faceData[i] != 0; i += m.faceData[i] + 1)
        fn(std::vector<std::uint32_t>(m.faceData.begin() + i + 1,
                                      m.faceData.begin() + i + 1 + m.faceData[i]));
}

Vec3d meanOf(const SceneMeshData& m, const std::vector<std::uint32_t>& idx) {
    Vec3d c{};
    for (std::uint32_t i : idx) {
        c.x += m.vertices[i].x / idx.size();
        c.y += m.vertices[i].y / idx.size();
        c.z += m.vertices[i].z / idx.size();
    }
    return c;
}

void expectOutward(const SceneMeshData& m, const Vec3d& centre, const char* label) {
    int faces = 0;
    forEachFace(m, [&](const std::vector<std::uint32_t>& f) {
        ++faces;
        const Vec3d n =
            cross(sub(m.vertices[f[1]], m.vertices[f[0]]), sub(m.vertices[f[2]], m.vertices[f[0]]));
        EXPECT_GT(dot(n, sub(meanOf(m, f), centre)), 0) << label << " face " << faces;
    });
    EXPECT_GT(faces, 0) << label;
}

TEST(SceneShapes, ClosedSolidsAreWoundOutward) {
    expectOutward(makeBox({1, 2, 3}, 2, 3, 4), {1, 2, 3}, "box");
    expectOutward(makeTetrahedron({0, 0, 0}, 2, 3), {0, 0, 0.75}, "tetrahedron");
    expectOutward(makeOctahedron({4, 0, 1}, 2, 3), {4, 0, 1}, "octahedron");
    expectOutward(makeCylinder({0, 0, 0}, 1, 5, 12), {0, 0, 2.5}, "cylinder");
    expectOutward(makeSphere({0, 0, 0}, 3, 6, 12), {0, 0, 0}, "sphere");
}

TEST(SceneShapes, SphereSizeFollowsTheTriangleCount) {
    for (long long n : {8LL, 1000LL, 20000LL, maxSphereTriangles()}) {
        const int stacks = sphereStacksForTriangles(n);
        const SceneMeshData m = makeSphere({0, 0, 0}, 1, stacks, 2 * stacks);
        const FaceDataSummary s =
            summarizeFaceData(m.faceData.data(), static_cast<std::int32_t>(m.faceData.size()));
        EXPECT_NEAR(double(s.faces), double(n), std::max(0.1 * n, 24.0)) << n;
        EXPECT_LE(m.faceData.size(), 300000u) << n;
        EXPECT_LE(m.vertices.size(), 300000u) << n;
    }
    const int over = sphereStacksForTriangles(maxSphereTriangles() + 2000);
    EXPECT_GT(16LL * over * (over - 1) + 1, 300000) << "the limit is tight";
}

TEST(SceneShapes, PanelCarriesTextureCoordinatesFourEntriesOn) {
    const SceneMeshData m = makeCurvedPanel({0, 10, 5}, 20, 10, 2, 5, 3);
    ASSERT_EQ(m.vertices.size(), 32u); // 15 grid points in 4 blocks of 4 + 4 carriers
    for (std::uint32_t g = 0; g < 15; ++g) {
        const std::uint32_t j = panelVertexIndex(g);
        const double u = (g % 5) / 4.0, v = (g / 5) / 2.0;
        EXPECT_EQ(m.vertices[j + 4].x, u) << g;
        EXPECT_EQ(m.vertices[j + 4].y, v) << g;
    }
    forEachFace(m, [&](const std::vector<std::uint32_t>& f) {
        for (std::uint32_t i : f)
            EXPECT_LT(i % 8, 4u) << "faces use grid points only";
        const Vec3d n =
            cross(sub(m.vertices[f[1]], m.vertices[f[0]]), sub(m.vertices[f[2]], m.vertices[f[0]]));
        EXPECT_LT(n.y, 0) << "faces the camera on the -y side";
    });
}

} // namespace
