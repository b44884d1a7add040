#include "tools/scenegen/scene_writer.h"

#include "viewer/scene_file.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

namespace {

std::string checkMesh(const SceneMeshData& mesh, bool textured, std::size_t index) {
    const std::string what =
        (textured ? "textured mesh " : "coloured mesh ") + std::to_string(index);
    const std::size_t n = mesh.vertices.size();
    if (n > static_cast<std::size_t>(kMeshTableCapacity))
        return what + ": more than 300000 vertices";
    if (textured && n >= static_cast<std::size_t>(kLargeTexturedMeshVertices) &&
        n > static_cast<std::size_t>(kMaxLargeTexturedVertexCount))
        return what + ": more than 299996 vertices";
    if (mesh.faceData.size() > static_cast<std::size_t>(kMeshTableCapacity))
        return what + ": more than 300000 face data words";
    if (textured) {
        if (mesh.textureName.size() >= kTextureNameSize)
            return what + ": texture name longer than 100 bytes";
        if (mesh.textureName.find('\0') != std::string::npos)
            return what + ": texture name contains a NUL";
    }
    return {};
}

} // namespace

std::string validateScene(const SceneData& scene) {
    for (std::size_t i = 0; i < scene.texturedMeshes.size(); ++i)
        if (std::string e = checkMesh(scene.texturedMeshes[i], true, i); !e.empty())
            return e;
    for (std::size_t i = 0; i < scene.colouredMeshes.size(); ++i)
        if (std::string e = checkMesh(scene.colouredMeshes[i], false, i); !e.empty())
            return e;
    if (scene.texturedMeshes.size() > 0xFFFFFFFFu)
        return "too many textured meshes";
    return {};
}

void SceneFieldWriter::u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

void SceneFieldWriter::f64(double v) {
    const auto b = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>((b >> (8 * i)) & 0xFFu));
}

void SceneFieldWriter::mirrored(const Vec3d& v) {
    f64(-v.x);
    f64(v.y);
    f64(v.z);
}

void SceneFieldWriter::header(const SceneData& scene) {
    mirrored(scene.eye);
    mirrored(scene.target);
    mirrored(scene.lightPos);
    mirrored(scene.lightTarget);
    f64(scene.ambientLevel);
    f64(scene.directionalLevel);
    f64(scene.pointLevel);
    f64(scene.spotLevel);
    f64(scene.moveStep);
    i32(scene.renderMode);
}

void SceneFieldWriter::textureName(std::string_view name) {
    std::string field(name.substr(0, kTextureNameSize));
    field.resize(kTextureNameSize, '\0');
    bytes += field;
}

void SceneFieldWriter::geometry(const SceneMeshData& mesh) {
    i32(static_cast<std::int32_t>(mesh.vertices.size()));
    for (const Vec3d& v : mesh.vertices)
        mirrored(v);
    i32(static_cast<std::int32_t>(mesh.faceData.size()));
    for (std::uint32_t w : mesh.faceData)
        u32(w);
}

bool writeScene(std::ostream& out, const SceneData& scene, std::string& error) {
    error = validateScene(scene);
    if (!error.empty())
        return false;
    SceneFieldWriter w;
    w.header(scene);
    w.u32(static_cast<std::uint32_t>(scene.texturedMeshes.size()));
    auto flush = [&] {
        out.write(w.bytes.data(), static_cast<std::streamsize>(w.bytes.size()));
        w.bytes.clear();
    };
    for (const SceneMeshData& mesh : scene.texturedMeshes) {
        w.textureName(mesh.textureName);
        w.geometry(mesh);
        flush();
    }
    for (const SceneMeshData& mesh : scene.colouredMeshes) {
        w.u32(mesh.colourWord);
        w.geometry(mesh);
        flush();
    }
    flush();
    if (!out) {
        error = "write failed";
        return false;
    }
    return true;
}

bool writeSceneFile(const std::string& path, const SceneData& scene, std::string& error) {
    error = validateScene(scene);
    if (!error.empty())
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!writeScene(out, scene, error))
        return false;
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void addFace(std::vector<std::uint32_t>& faceData, std::initializer_list<std::uint32_t> indices) {
    faceData.push_back(static_cast<std::uint32_t>(indices.size()));
    faceData.insert(faceData.end(), indices.begin(), indices.end());
}

void endFaces(std::vector<std::uint32_t>& faceData) {
    faceData.push_back(0);
}
