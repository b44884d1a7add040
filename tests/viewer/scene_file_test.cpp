#include "viewer/scene_file.h"

#include "tests/viewer/scene_bytes.h"
#include "viewer/mesh_colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

struct MeshSeen {
    MeshKind kind;
    std::uint64_t offset;
    std::string textureName;
    std::uint32_t colourWord;
    std::int32_t vertexCount;
    std::int32_t faceDataCount;
    std::vector<VertexEntry> vertices;
    std::vector<std::uint32_t> words;
};

struct WalkResult {
    bool opened = false;
    SceneRead result = SceneRead::malformed;
    SceneProgress progress;
    SceneReadError error;
    std::vector<MeshSeen> meshes;
};

WalkResult walk(const std::string& path, ViewerState& state) {
    WalkResult w;
    SceneReader reader;
    w.opened = openSceneFile(reader, path.c_str());
    if (!w.opened) {
        w.error = reader.error;
        return w;
    }
    w.result = readSceneMeshes(reader, state, w.progress, [&](const SceneMeshInfo& info) {
        MeshSeen m{info.kind,
                   info.offset,
                   info.textureName ? info.textureName : "",
                   info.colourWord,
                   state.meshVertexCount,
                   state.meshFaceDataCount,
                   {},
                   {}};
        m.vertices.assign(state.VertexTable,
                          state.VertexTable + std::min(state.meshVertexCount, 8));
        m.words.assign(state.FaceDataTable,
                       state.FaceDataTable + std::min(state.meshFaceDataCount, 16));
        w.meshes.push_back(std::move(m));
    });
    w.error = reader.error;
    return w;
}

WalkResult walkBytes(const std::string& name, const SceneBytes& bytes, ViewerState& state) {
    return walk(writeTempFile(name, bytes.bytes), state);
}

bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- Well-formed files -------------------------------------------------------

TEST(SceneFile, HeaderOnlyFileHasNoMeshesAndMirrorsX) {
    auto state = std::make_unique<ViewerState>();
    SceneBytes b;
    b.header({5.0, -40.0, 10.0, 1.0, 2.0, 3.0, -3.0, -5.0, 20.0, 0.0, 7.0, -8.0},
             {0.1, 0.2, 0.3, 0.4, 1.5}, 2)
        .u32(0);
    ASSERT_EQ(b.size(), 144u);
    const WalkResult w = walkBytes("header-only.dat", b, *state);
    ASSERT_TRUE(w.opened);
    EXPECT_EQ(w.result, SceneRead::ok) << w.error.message;
    EXPECT_TRUE(w.meshes.empty());
    const CameraPose& p = state->pose;
    EXPECT_EQ(p.eye.x, -5.0);
    EXPECT_EQ(p.eye.y, -40.0);
    EXPECT_EQ(p.eye.z, 10.0);
    EXPECT_EQ(p.target.x, -1.0);
    EXPECT_EQ(p.target.y, 2.0);
    EXPECT_EQ(p.lightPos.x, 3.0);
    EXPECT_EQ(p.lightPos.y, -5.0);
    EXPECT_TRUE(std::signbit(p.lightTarget.x)) << "0.0 mirrors to -0.0";
    EXPECT_EQ(p.lightTarget.y, 7.0);
    EXPECT_EQ(p.lightTarget.z, -8.0);
    EXPECT_EQ(state->ambientLevel, 0.1);
    EXPECT_EQ(state->directionalLevel, 0.2);
    EXPECT_EQ(state->pointLevel, 0.3);
    EXPECT_EQ(state->spotLevel, 0.4);
    EXPECT_EQ(state->moveStep, 1.5);
    EXPECT_EQ(state->renderMode, 2);
    EXPECT_EQ(p.viewDir.x, 0.0) << "the reader does not derive viewDir";
}

TEST(SceneFile, VerticesAreMirroredAndRoundedToNearestSingle) {
    auto state = std::make_unique<ViewerState>();
    const double justAboveHalf = 1.0 + 0x1.8p-24; // 0.75 ulp(float) above 1: rounds up
    const double tie = 16777217.0;                // 2^24 + 1: tie, rounds to even
    SceneBytes b;
    b.header().u32(0).u32(0x00804020);
    b.geometry({{1.5, 2.0, -4.0}, {justAboveHalf, -justAboveHalf, tie}, {0.1, 1e300, -0.0}},
               {3, 0, 1, 2, 0, 0xFFFFFFFF, 0x80000000});
    const WalkResult w = walkBytes("vertices.dat", b, *state);
    ASSERT_EQ(w.result, SceneRead::ok) << w.error.message;
    ASSERT_EQ(w.meshes.size(), 1u);
    const MeshSeen& m = w.meshes[0];
    EXPECT_EQ(m.kind, MeshKind::coloured);
    EXPECT_EQ(m.offset, 144u);
    EXPECT_EQ(m.colourWord, 0x00804020u);
    ASSERT_EQ(m.vertexCount, 3);
    EXPECT_TRUE(sameFloat(m.vertices[0].x, -1.5f));
    EXPECT_TRUE(sameFloat(m.vertices[0].y, 2.0f));
    EXPECT_TRUE(sameFloat(m.vertices[0].z, -4.0f));
    EXPECT_TRUE(sameFloat(m.vertices[1].x, -1.00000011920928955f));
    EXPECT_TRUE(sameFloat(m.vertices[1].y, -1.00000011920928955f));
    EXPECT_TRUE(sameFloat(m.vertices[1].z, 16777216.0f));
    EXPECT_TRUE(sameFloat(m.vertices[2].x, -0.1f));
    EXPECT_TRUE(std::isinf(m.vertices[2].y));
    EXPECT_TRUE(sameFloat(m.vertices[2].z, -0.0f));
    EXPECT_EQ(m.words, (std::vector<std::uint32_t>{3, 0, 1, 2, 0, 0xFFFFFFFF, 0x80000000}));
    EXPECT_EQ(state->meshFaceDataCount, 7);
}

TEST(SceneFile, TexturedRecordGeometryStartsRightAfterTheName) {
    auto state = std::make_unique<ViewerState>();
    const std::string hundred(100, 'n');
    SceneBytes b;
    b.header().u32(2);
    b.name("floor.bmp", 'X'); // bytes after the NUL are ignored
    b.geometry({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}}, {4, 0, 1, 2, 3, 0});
    b.name(hundred); // exactly 100 characters and its NUL
    b.geometry({}, {});
    b.u32(0xFF0000FF).geometry({}, {}); // n = 0, m = 0: 8 bytes of geometry
    const WalkResult w = walkBytes("textured.dat", b, *state);
    ASSERT_EQ(w.result, SceneRead::ok) << w.error.message;
    EXPECT_EQ(w.progress.texturedMeshCount, 2u);
    ASSERT_EQ(w.meshes.size(), 3u);
    EXPECT_EQ(w.meshes[0].textureName, "floor.bmp");
    EXPECT_EQ(w.meshes[0].offset, 144u);
    EXPECT_TRUE(sameFloat(w.meshes[0].vertices[0].x, -1.0f));
    EXPECT_TRUE(sameFloat(w.meshes[0].vertices[3].z, 12.0f));
    EXPECT_EQ(w.meshes[1].offset, 144u + 101 + 8 + 4 * 24 + 6 * 4);
    EXPECT_EQ(w.meshes[1].textureName, hundred);
    EXPECT_EQ(w.meshes[1].vertexCount, 0);
    EXPECT_EQ(w.meshes[1].faceDataCount, 0);
    EXPECT_EQ(w.meshes[2].kind, MeshKind::coloured);
    EXPECT_EQ(w.meshes[2].offset, w.meshes[1].offset + 101 + 8);
    EXPECT_EQ(meshColourFromWord(w.meshes[2].colourWord), meshColourFromWord(0x000000FF));
    EXPECT_EQ(w.meshes[2].offset + 4 + 8, b.size());
}

TEST(SceneFile, TablesKeepWhatEarlierMeshesLeftBeyondTheCurrentMesh) {
    auto state = std::make_unique<ViewerState>();
    SceneBytes b;
    b.header().u32(0);
    b.u32(1).geometry({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, {9, 9, 9, 9});
    b.u32(2).geometry({{5, 5, 5}}, {7});
    ASSERT_EQ(walkBytes("leftovers.dat", b, *state).result, SceneRead::ok);
    EXPECT_EQ(state->meshVertexCount, 1);
    EXPECT_EQ(state->VertexTable[0].x, -5.0f);
    EXPECT_EQ(state->VertexTable[1].x, -2.0f);
    EXPECT_EQ(state->VertexTable[2].y, 3.0f);
    EXPECT_EQ(state->VertexTable[3].x, 0.0f);
    EXPECT_EQ(state->FaceDataTable[0], 7u);
    EXPECT_EQ(state->FaceDataTable[3], 9u);
}

TEST(SceneFile, LargeMeshCrossesBufferBoundariesIntact) {
    auto state = std::make_unique<ViewerState>();
    constexpr int kCount = 40000; // about 1 MB of vertices at an odd file offset
    SceneBytes b;
    b.header().u32(1).name("t.bmp").i32(kCount);
    for (int i = 0; i < kCount; ++i)
        b.f64(i).f64(-i).f64(i * 0.5);
    b.i32(kCount);
    for (int i = 0; i < kCount; ++i)
        b.u32(static_cast<std::uint32_t>(i) * 2654435761u);
    ASSERT_EQ(walkBytes("large.dat", b, *state).result, SceneRead::ok);
    ASSERT_EQ(state->meshVertexCount, kCount);
    int bad = 0;
    for (int i = 0; i < kCount; ++i) {
        const VertexEntry& v = state->VertexTable[i];
        bad += v.x != -float(i) || v.y != -float(i) || v.z != float(i * 0.5);
        bad += state->FaceDataTable[i] != static_cast<std::uint32_t>(i) * 2654435761u;
    }
    EXPECT_EQ(bad, 0);
}

struct LimitCase {
    const char* label;
    MeshKind kind;
    std::int32_t vertexCount;
    std::int32_t faceDataCount;
    bool accepted;
};

// Boundary counts: the accepted ones carry their full data.
TEST(SceneFile, CountLimits) {
    const LimitCase cases[] = {
        {"coloured n=300000", MeshKind::coloured, 300000, 1, true},
        {"coloured n=299997", MeshKind::coloured, 299997, 1, true},
        {"textured n=299996", MeshKind::textured, 299996, 1, true},
        {"textured n=299997", MeshKind::textured, 299997, 1, false},
        {"textured n=19", MeshKind::textured, 19, 1, true},
        {"coloured n=300001", MeshKind::coloured, 300001, 1, false},
        {"coloured m=300000", MeshKind::coloured, 3, 300000, true},
        {"coloured m=300001", MeshKind::coloured, 3, 300001, false},
        {"textured m=300001", MeshKind::textured, 3, 300001, false},
    };
    auto state = std::make_unique<ViewerState>();
    for (const LimitCase& c : cases) {
        SceneBytes b;
        b.header().u32(c.kind == MeshKind::textured ? 1 : 0);
        if (c.kind == MeshKind::textured)
            b.name("t.bmp");
        else
            b.u32(0xFF);
        const std::uint64_t countAt = b.size();
        b.i32(c.vertexCount);
        if (c.accepted || c.faceDataCount > 300000) {
            b.bytes.append(static_cast<std::size_t>(c.vertexCount) * 24, '\0');
            b.i32(c.faceDataCount);
            if (c.accepted)
                b.bytes.append(static_cast<std::size_t>(c.faceDataCount) * 4, '\0');
        }
        const WalkResult w = walkBytes("limit.dat", b, *state);
        if (c.accepted) {
            EXPECT_EQ(w.result, SceneRead::ok) << c.label << ": " << w.error.message;
            EXPECT_EQ(state->meshVertexCount, c.vertexCount) << c.label;
            EXPECT_EQ(state->meshFaceDataCount, c.faceDataCount) << c.label;
        } else {
            EXPECT_EQ(w.result, SceneRead::malformed) << c.label;
            const std::uint64_t at = c.faceDataCount > 300000
                                         ? countAt + 4 + std::uint64_t(c.vertexCount) * 24
                                         : countAt;
            EXPECT_EQ(w.error.offset, at) << c.label << ": " << w.error.message;
        }
    }
}

// ---- Refused files -----------------------------------------------------------

struct RefusalCase {
    const char* label;
    std::function<void(SceneBytes&)> build;
    std::uint64_t offset;
    const char* reason; // a word the one-line reason must contain
};

TEST(SceneFile, MalformedFilesAreRefusedWithOffsetAndReason) {
    const RefusalCase cases[] = {
        {"empty file", [](SceneBytes&) {}, 0, "header"},
        {"header cut mid-double", [](SceneBytes& b) { b.f64(1).f64(2).raw("abc"); }, 0, "header"},
        {"header of 139 bytes",
         [](SceneBytes& b) {
             b.header();
             b.bytes.pop_back();
         },
         0, "header"},
        {"no texturedMeshCount", [](SceneBytes& b) { b.header(); }, 140, "texturedMeshCount"},
        {"texturedMeshCount cut", [](SceneBytes& b) { b.header().raw("\x01\x00"); }, 140,
         "texturedMeshCount"},
        {"count 1 without records", [](SceneBytes& b) { b.header().u32(1); }, 144, "larger"},
        {"count 0x80000000", [](SceneBytes& b) { b.header().u32(0x80000000u); }, 144, "larger"},
        {"count 3, two records",
         [](SceneBytes& b) {
             b.header().u32(3);
             b.name("a").geometry({}, {});
             b.name("b").geometry({}, {});
         },
         144 + 2 * 109, "larger"},
        {"textureName cut", [](SceneBytes& b) { b.header().u32(1).raw("short.bmp"); }, 144,
         "textureName"},
        {"textureName without NUL",
         [](SceneBytes& b) { b.header().u32(1).raw(std::string(101, 'a')).geometry({}, {}); }, 144,
         "NUL"},
        {"vertexCount cut", [](SceneBytes& b) { b.header().u32(1).name("a").raw("\x02"); }, 245,
         "vertexCount"},
        {"vertexCount -1", [](SceneBytes& b) { b.header().u32(1).name("a").i32(-1); }, 245,
         "negative"},
        {"vertexCount INT32_MIN",
         [](SceneBytes& b) { b.header().u32(0).u32(0xFF).i32(std::numeric_limits<int>::min()); },
         148, "negative"},
        {"vertexCount INT32_MAX",
         [](SceneBytes& b) { b.header().u32(0).u32(0xFF).i32(std::numeric_limits<int>::max()); },
         148, "exceeds"},
        {"vertex cut mid-way",
         [](SceneBytes& b) { b.header().u32(0).u32(0xFF).i32(2).f64(1).f64(2).f64(3).f64(4); },
         152 + 24, "vertex 1 of 2"},
        {"faceDataCount missing",
         [](SceneBytes& b) { b.header().u32(0).u32(0xFF).i32(1).f64(1).f64(2).f64(3); }, 176,
         "faceDataCount"},
        {"faceDataCount -5", [](SceneBytes& b) { b.header().u32(0).u32(0xFF).i32(0).i32(-5); }, 152,
         "negative"},
        {"face words cut",
         [](SceneBytes& b) { b.header().u32(0).u32(0xFF).i32(0).i32(4).u32(3).u32(0).raw("\1"); },
         164, "face data word 2 of 4"},
        {"colourWord of 1 byte", [](SceneBytes& b) { b.header().u32(0).raw("\xFF"); }, 144,
         "colourWord"},
        {"colourWord of 3 bytes",
         [](SceneBytes& b) { b.header().u32(0).u32(1).geometry({}, {}).raw("\1\2\3"); }, 156,
         "colourWord"},
        {"file ends after colourWord", [](SceneBytes& b) { b.header().u32(0).u32(0xFF); }, 148,
         "vertexCount"},
        {"big-endian counts",
         [](SceneBytes& b) { b.header().u32(0).u32(0xFF).u32(0x01000000).u32(0); }, 148, "exceeds"},
    };
    auto state = std::make_unique<ViewerState>();
    for (const RefusalCase& c : cases) {
        SceneBytes b;
        c.build(b);
        const WalkResult w = walkBytes("refused.dat", b, *state);
        ASSERT_TRUE(w.opened) << c.label;
        EXPECT_EQ(w.result, SceneRead::malformed) << c.label;
        EXPECT_EQ(w.error.offset, c.offset) << c.label << ": " << w.error.message;
        EXPECT_NE(w.error.message.find(c.reason), std::string::npos)
            << c.label << ": " << w.error.message;
        EXPECT_EQ(w.error.message.find('\n'), std::string::npos) << c.label;
    }
}

TEST(SceneFile, CutHeaderChangesNoField) {
    auto state = std::make_unique<ViewerState>();
    state->moveStep = 7.0;
    state->pose.eye = {1, 2, 3};
    SceneBytes b;
    b.header();
    b.bytes.resize(139);
    EXPECT_EQ(walkBytes("cut-header.dat", b, *state).result, SceneRead::malformed);
    EXPECT_EQ(state->moveStep, 7.0);
    EXPECT_EQ(state->pose.eye.x, 1.0);
    EXPECT_EQ(state->renderMode, 0);
}

TEST(SceneFile, StepsAfterARefusalStayRefused) {
    auto state = std::make_unique<ViewerState>();
    SceneBytes b;
    b.header().u32(0).u32(0xFF).i32(-1);
    SceneReader reader;
    ASSERT_TRUE(openSceneFile(reader, writeTempFile("sticky.dat", b.bytes).c_str()));
    std::uint32_t count = 0, word = 0;
    ASSERT_EQ(readSceneHeader(reader, *state), SceneRead::ok);
    ASSERT_EQ(readTexturedMeshCount(reader, count), SceneRead::ok);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(readColourWord(reader, word), SceneRead::ok);
    EXPECT_EQ(readMeshGeometry(reader, *state, MeshKind::coloured), SceneRead::malformed);
    EXPECT_EQ(state->meshVertexCount, 0) << "a refused count is never stored";
    EXPECT_EQ(readColourWord(reader, word), SceneRead::malformed);
    EXPECT_EQ(readSceneHeader(reader, *state), SceneRead::malformed);
    EXPECT_EQ(reader.error.offset, 148u);
}

TEST(SceneFile, CleanEndOnlyWhereAColourWordIsDue) {
    auto state = std::make_unique<ViewerState>();
    SceneBytes b;
    b.header().u32(1).name("a.bmp").geometry({{1, 2, 3}}, {0});
    SceneReader reader;
    ASSERT_TRUE(openSceneFile(reader, writeTempFile("clean-end.dat", b.bytes).c_str()));
    std::uint32_t count = 0, word = 0;
    char name[kTextureNameSize];
    ASSERT_EQ(readSceneHeader(reader, *state), SceneRead::ok);
    ASSERT_EQ(readTexturedMeshCount(reader, count), SceneRead::ok);
    ASSERT_EQ(readTextureName(reader, name), SceneRead::ok);
    EXPECT_STREQ(name, "a.bmp");
    ASSERT_EQ(readMeshGeometry(reader, *state, MeshKind::textured), SceneRead::ok);
    EXPECT_EQ(readColourWord(reader, word), SceneRead::end);
    EXPECT_EQ(reader.offset, b.size());
    EXPECT_EQ(reader.fileSize, b.size());
}

// ---- Files that cannot be opened ---------------------------------------------

// Every byte of the record, tables included.
std::vector<unsigned char> snapshot(const ViewerState& s) {
    const auto* p = reinterpret_cast<const unsigned char*>(&s);
    return {p, p + sizeof s};
}

void expectUntouched(const ViewerState& s, const std::vector<unsigned char>& before) {
    EXPECT_TRUE(snapshot(s) == before) << "a field changed";
    EXPECT_EQ(s.pose.eye.y, -50.0);
    EXPECT_EQ(s.meshVertexCount, 0);
}

TEST(SceneFile, MissingFileLeavesStateAsItWas) {
    auto state = std::make_unique<ViewerState>();
    state->VertexTable[7] = {1, 2, 3};
    const std::vector<unsigned char> before = snapshot(*state);
    const WalkResult w = walk(testTempDir() + "/does-not-exist.dat", *state);
    EXPECT_FALSE(w.opened);
    EXPECT_NE(w.error.message.find("cannot open"), std::string::npos) << w.error.message;
    expectUntouched(*state, before);
}

TEST(SceneFile, NonRegularFilesAreRefusedWithoutBlocking) {
    const std::string fifo = testTempDir() + "/fifo.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string dir = testTempDir() + "/dir.dat";
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    for (const std::string& path :
         {fifo, dir, std::string("/dev/zero"), std::string("/dev/null")}) {
        auto state = std::make_unique<ViewerState>();
        const std::vector<unsigned char> before = snapshot(*state);
        const WalkResult w = walk(path, *state); // a blocking open of the FIFO would hang here
        EXPECT_FALSE(w.opened) << path;
        EXPECT_NE(w.error.message.find("cannot open"), std::string::npos) << w.error.message;
        expectUntouched(*state, before);
    }
}

TEST(SceneFile, ReopeningAReaderStartsAfresh) {
    auto state = std::make_unique<ViewerState>();
    SceneBytes bad, good;
    bad.header().u32(7);
    good.header().u32(0);
    SceneReader reader;
    ASSERT_TRUE(openSceneFile(reader, writeTempFile("bad.dat", bad.bytes).c_str()));
    SceneProgress p;
    EXPECT_EQ(readSceneMeshes(reader, *state, p, [](const SceneMeshInfo&) {}),
              SceneRead::malformed);
    ASSERT_TRUE(openSceneFile(reader, writeTempFile("good.dat", good.bytes).c_str()));
    SceneProgress q;
    EXPECT_EQ(readSceneMeshes(reader, *state, q, [](const SceneMeshInfo&) {}), SceneRead::ok);
    EXPECT_TRUE(reader.error.message.empty());
}

// ---- Face data summary ---------------------------------------------------------

struct FaceCase {
    const char* label;
    std::vector<std::uint32_t> words;
    std::uint32_t faces;
    bool terminated;
    std::uint32_t maxIndex;
};

TEST(SceneFile, FaceDataSummaryCountsCompleteFaces) {
    const FaceCase cases[] = {
        {"empty", {}, 0, false, 0},
        {"only terminator", {0}, 0, true, 0},
        {"two faces", {3, 0, 1, 2, 4, 0, 2, 3, 5, 0}, 2, true, 5},
        {"words after terminator ignored", {3, 0, 1, 2, 0, 3, 9, 9, 9}, 1, true, 2},
        {"runs out inside a face", {3, 0, 1, 2, 3, 4, 5}, 1, false, 2},
        {"no terminator", {3, 0, 1, 2}, 1, false, 2},
        {"forged huge count", {0xFFFFFFFF, 1, 2}, 0, false, 0},
    };
    for (const FaceCase& c : cases) {
        const FaceDataSummary s =
            summarizeFaceData(c.words.data(), static_cast<std::int32_t>(c.words.size()));
        EXPECT_EQ(s.faces, c.faces) << c.label;
        EXPECT_EQ(s.terminated, c.terminated) << c.label;
        EXPECT_EQ(s.maxIndex, c.maxIndex) << c.label;
    }
}

} // namespace

TEST(SceneFile, FileCutShortAfterOpeningIsReadToTheCutOnly) {
    // The file shrinks between the open and the first read (another program rewriting it):
    // the reader goes by what it can read, never by the size it saw at the open.
    SceneBytes b;
    b.header().u32(0);
    const std::size_t firstMesh = b.size();
    b.u32(0x000000FF).geometry({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {3, 0, 1, 2, 0});
    const std::size_t secondMesh = b.size();
    b.u32(0x0000FF00).geometry({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {3, 0, 1, 2, 0});
    struct Case {
        std::size_t cut;
        SceneRead expected;
        std::size_t meshes;
    };
    for (const Case c :
         {Case{0, SceneRead::malformed, 0}, Case{100, SceneRead::malformed, 0},
          Case{142, SceneRead::malformed, 0}, Case{firstMesh, SceneRead::ok, 0},
          Case{firstMesh + 20, SceneRead::malformed, 0}, Case{secondMesh, SceneRead::ok, 1},
          Case{secondMesh + 2, SceneRead::malformed, 1},
          Case{b.size() - 1, SceneRead::malformed, 1}}) {
        SCOPED_TRACE(c.cut);
        const std::string path = writeTempFile("shrinking.dat", b.bytes);
        auto state = std::make_unique<ViewerState>();
        SceneReader reader;
        ASSERT_TRUE(openSceneFile(reader, path.c_str()));
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.cut)), 0);
        SceneProgress progress;
        std::size_t meshes = 0;
        const SceneRead r =
            readSceneMeshes(reader, *state, progress, [&](const SceneMeshInfo&) { ++meshes; });
        EXPECT_EQ(r, c.expected) << reader.error.message;
        EXPECT_EQ(meshes, c.meshes);
        EXPECT_LE(reader.offset, c.cut);
        if (r == SceneRead::malformed) {
            EXPECT_LE(reader.error.offset, c.cut);
            EXPECT_FALSE(reader.error.message.empty());
        }
    }
}
