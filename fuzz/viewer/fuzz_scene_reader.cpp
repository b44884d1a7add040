// libFuzzer target: any bytes as a scene file through the incremental reader.
// Whatever the reader accepts must keep its promises: counts inside the
// tables, a refusal with a one-line reason and the offset inside the file, a
// clean end only where a record is due, and a face summary inside the words.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/viewer/fuzz_temp_file.h"
#include "viewer/scene_file.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto state = std::make_unique<ViewerState>();
    const std::string path = writeFuzzFile("trans.dat", data, size);

    SceneReader reader;
    if (!openSceneFile(reader, path.c_str()))
        std::abort(); // a regular file we just wrote
    check(reader.fileSize == size);

    SceneProgress progress;
    std::uint64_t lastOffset = 0;
    std::uint64_t meshes = 0;
    const SceneRead result = readSceneMeshes(reader, *state, progress, [&](const SceneMeshInfo& m) {
        ++meshes;
        check(m.offset >= lastOffset && m.offset < size);
        lastOffset = m.offset;
        check(state->meshVertexCount >= 0 && state->meshVertexCount <= kMeshTableCapacity);
        check(state->meshFaceDataCount >= 0 && state->meshFaceDataCount <= kMeshTableCapacity);
        if (m.kind == MeshKind::textured) {
            check(std::memchr(m.textureName, 0, kTextureNameSize) != nullptr);
            if (state->meshVertexCount >= kLargeTexturedMeshVertices)
                check(state->meshVertexCount <= kMaxLargeTexturedVertexCount);
        }
        const FaceDataSummary s = summarizeFaceData(state->FaceDataTable, state->meshFaceDataCount);
        check(s.wordsUsed >= 0 && s.wordsUsed <= state->meshFaceDataCount);
        if (s.faces > 0)
            check(s.wordsUsed > 0);
    });
    check(reader.offset <= size);
    if (result == SceneRead::ok) {
        check(progress.headerRead && progress.countRead);
        check(reader.offset == size); // a clean end is the end of the file
        check(!reader.failed);
    } else {
        check(reader.failed);
        check(!reader.error.message.empty());
        check(reader.error.message.find('\n') == std::string::npos);
        check(reader.error.offset <= size);
        // Sticky: every later step refuses too.
        std::uint32_t word = 0;
        check(readColourWord(reader, word) == SceneRead::malformed);
    }
    (void)meshes;
    closeSceneFile(reader);
    closeSceneFile(reader); // twice is allowed
    return 0;
}
