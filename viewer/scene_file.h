// Reader of the binary scene file ("trans.dat"): a 140-byte header, a counted
// list of textured meshes and an open-ended list of coloured meshes, all
// little-endian with no padding. Every x is negated on reading.
//
// The reader is incremental so that the scene assembly can hand each mesh to
// the engine before the next one is read:
//
//   SceneReader reader;
//   if (!openSceneFile(reader, "trans.dat")) fail;
//   readSceneHeader(reader, state);
//   readTexturedMeshCount(reader, count);
//   for each of count: readTextureName(reader, name); readMeshGeometry(reader, state, textured);
//   while (readColourWord(reader, word) == SceneRead::ok) readMeshGeometry(reader, state,
//   coloured);
//
// Each step returns ok, end (only readColourWord, when the file ends exactly
// where a colourWord is due) or malformed. A malformed file is refused: the
// reader then holds the byte offset of the fault and a one-line reason, and
// every later step returns malformed too. Nothing is ever written outside the
// tables and buffers, and no size from the file is used to allocate.
// Qt-free; the reader allocates one read buffer at open and nothing per mesh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "viewer/viewer_state.h"

// The viewer's scene file, opened in the current directory.
inline constexpr const char* kSceneFileName = "trans.dat";

inline constexpr std::size_t kSceneHeaderSize = 140;
inline constexpr std::size_t kTextureNameSize = 101;
// A textured mesh of this many vertices or more takes its texture coordinates
// from the table entries four places on...
inline constexpr std::int32_t kLargeTexturedMeshVertices = 20;
// ...so its vertexCount may not exceed this (the last vertex reads entry n + 3).
inline constexpr std::int32_t kMaxLargeTexturedVertexCount = kMeshTableCapacity - 4;

enum class SceneRead { ok, end, malformed };

enum class MeshKind { textured, coloured };

struct SceneReadError {
    std::uint64_t offset = 0; // byte offset in the file where the fault was found
    std::string message;      // one line, no trailing newline
};

struct SceneReader {
    int fd = -1;
    std::uint64_t fileSize = 0; // size when opened
    std::uint64_t offset = 0;   // file offset of the next unread byte
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t bufferPos = 0; // next unread byte in buffer
    std::size_t bufferEnd = 0; // end of valid bytes in buffer
    bool endOfFile = false;    // a read returned no bytes
    bool failed = false;       // a step returned malformed (sticky)
    SceneReadError error;

    SceneReader() = default;
    SceneReader(const SceneReader&) = delete;
    SceneReader& operator=(const SceneReader&) = delete;
    ~SceneReader();
};

// Opens a scene file read-only. Only regular files are accepted: a
// directory, FIFO or device is refused without blocking. On failure returns
// false with reader.error set (offset 0) and touches no ViewerState field.
bool openSceneFile(SceneReader& reader, const char* path);

// Closes the file; safe to call more than once (the destructor calls it too).
void closeSceneFile(SceneReader& reader);

// Reads the 140-byte header into state.pose (eye, target, lightPos,
// lightTarget, x negated), the four light levels, moveStep and renderMode.
// All or nothing: a header cut short changes no field.
SceneRead readSceneHeader(SceneReader& reader, ViewerState& state);

// Reads texturedMeshCount (unsigned).
SceneRead readTexturedMeshCount(SceneReader& reader, std::uint32_t& count);

// Reads the 101-byte textureName of a textured mesh record; refused without
// a NUL in its 101 bytes. Bytes after the NUL are kept as read.
SceneRead readTextureName(SceneReader& reader, char (&textureName)[kTextureNameSize]);

// Reads one MeshGeometry into state.meshVertexCount, VertexTable (single
// precision, (-x, y, z), rounded to nearest), state.meshFaceDataCount and
// FaceDataTable (bit for bit). Counts are checked before anything is stored:
// negative, above the table capacity, or (textured mesh of 20 or more
// vertices) above 299996 is refused.
SceneRead readMeshGeometry(SceneReader& reader, ViewerState& state, MeshKind kind);

// Reads the colourWord of the next coloured mesh. Returns end when the file
// yields no byte at all here, malformed when it yields 1 to 3 bytes.
SceneRead readColourWord(SceneReader& reader, std::uint32_t& colourWord);

// Face data words are faces, each a vertex count followed by that many vertex
// indices, the list ended by a count of 0.
struct FaceDataSummary {
    std::uint32_t faces = 0;    // complete faces before the end or the terminating 0
    bool terminated = false;    // a count of 0 ends the list within the words
    std::uint32_t maxIndex = 0; // largest vertex index of the complete faces
    std::int32_t wordsUsed = 0; // words of the complete faces plus the terminator
};
FaceDataSummary summarizeFaceData(const std::uint32_t* words, std::int32_t count);

// Whole-file walk for the tools and benchmarks: reads the header, the count
// and every mesh, calling onMesh(const SceneMeshInfo&) while that mesh's
// geometry is in the tables. Returns ok at a clean end, malformed otherwise
// (progress says how far it got).
struct SceneMeshInfo {
    MeshKind kind = MeshKind::coloured;
    std::uint64_t offset = 0;          // byte offset of the record
    const char* textureName = nullptr; // textured meshes
    std::uint32_t colourWord = 0;      // coloured meshes
};

struct SceneProgress {
    bool headerRead = false;
    bool countRead = false;
    std::uint32_t texturedMeshCount = 0;
};

template <class OnMesh>
SceneRead readSceneMeshes(SceneReader& reader, ViewerState& state, SceneProgress& progress,
                          OnMesh&& onMesh) {
    if (readSceneHeader(reader, state) != SceneRead::ok)
        return SceneRead::malformed;
    progress.headerRead = true;
    if (readTexturedMeshCount(reader, progress.texturedMeshCount) != SceneRead::ok)
        return SceneRead::malformed;
    progress.countRead = true;
    char name[kTextureNameSize];
    for (std::uint32_t i = 0; i < progress.texturedMeshCount; ++i) {
        SceneMeshInfo info;
        info.kind = MeshKind::textured;
        info.offset = reader.offset;
        info.textureName = name;
        if (readTextureName(reader, name) != SceneRead::ok ||
            readMeshGeometry(reader, state, MeshKind::textured) != SceneRead::ok)
            return SceneRead::malformed;
        onMesh(static_cast<const SceneMeshInfo&>(info));
    }
    for (;;) {
        SceneMeshInfo info;
        info.kind = MeshKind::coloured;
        info.offset = reader.offset;
        const SceneRead word = readColourWord(reader, info.colourWord);
        if (word == SceneRead::end)
            return SceneRead::ok;
        if (word != SceneRead::ok ||
            readMeshGeometry(reader, state, MeshKind::coloured) != SceneRead::ok)
            return SceneRead::malformed;
        onMesh(static_cast<const SceneMeshInfo&>(info));
    }
}
