// Writer of scene files: the mirror image of viewer/scene_file.h. Scenes are
// described in scene coordinates (as the viewer holds them after reading);
// the writer negates every x on the way out, so reading a written file gives
// back the same scene (vertices narrowed to single precision).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/viewer_state.h"

struct SceneMeshData {
    std::string textureName;      // textured meshes: at most 100 bytes, no NUL
    std::uint32_t colourWord = 0; // coloured meshes: 0x00BBGGRR
    std::vector<Vec3d> vertices;  // scene coordinates
    std::vector<std::uint32_t> faceData;
};

struct SceneData {
    Vec3d eye;
    Vec3d target;
    Vec3d lightPos;
    Vec3d lightTarget;
    double ambientLevel = 0.0;
    double directionalLevel = 0.0;
    double pointLevel = 0.0;
    double spotLevel = 0.0;
    double moveStep = 2.0;
    std::int32_t renderMode = 0;
    std::vector<SceneMeshData> texturedMeshes;
    std::vector<SceneMeshData> colouredMeshes;
};

// Checks a scene against every limit the reader enforces. Returns an empty
// string when it can be written, otherwise what is wrong.
std::string validateScene(const SceneData& scene);

// Writes the scene; refuses (false, error set) what the reader would refuse.
bool writeScene(std::ostream& out, const SceneData& scene, std::string& error);
bool writeSceneFile(const std::string& path, const SceneData& scene, std::string& error);

// Field-level encoding, used by writeScene and, on its own, to write edge-case
// files the reader must refuse. Little-endian; mirrored() negates x.
struct SceneFieldWriter {
    std::string bytes;
    void u32(std::uint32_t v);
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f64(double v);
    void mirrored(const Vec3d& v);
    void header(const SceneData& scene); // the 140-byte header
    // 101 bytes: the name, then NULs; a name of 101 bytes or more is cut to
    // 101 bytes with no NUL at all.
    void textureName(std::string_view name);
    void geometry(const SceneMeshData& mesh);
};

// Face-data helpers: appends one face (its vertex count, then its indices) /
// the terminating 0.
void addFace(std::vector<std::uint32_t>& faceData, std::initializer_list<std::uint32_t> indices);
void endFaces(std::vector<std::uint32_t>& faceData);
