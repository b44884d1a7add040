#include "tools/scenegen/scene_writer.h"

#include "viewer/scene_file.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

namespace {

void putU32(std::string& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

void putF64(std::string& b, double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        b.push_back(static_cast<char>((bits >> (8 * i)) & 0xFFu));
}

void putMirrored(std::string& b, const Vec3d& v) {
    putF64(b, -v.x);
    putF64(b, v.y);
    putF64(b, v.z);
}

void putGeometry(std::string& b, const SceneMeshData& mesh) {
    putU32(b, static_cast<std::uint32_t>(mesh.vertices.size()));
    for (const Vec3d& v : mesh.vertices)
        putMirrored(b, v);
    putU32(b, static_cast<std::uint32_t>(mesh.faceData.size()));
    for (std::uint32_t w : mesh.faceData)
        putU32(b, w);
}

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

bool writeScene(std::ostream& out, const SceneData& scene, std::string& error) {
    error = validateScene(scene);
    if (!error.empty())
        return false;
    std::string b;
    putMirrored(b, scene.eye);
    putMirrored(b, scene.target);
    putMirrored(b, scene.lightPos);
    putMirrored(b, scene.lightTarget);
    putF64(b, scene.ambientLevel);
    putF64(b, scene.directionalLevel);
    putF64(b, scene.pointLevel);
    putF64(b, scene.spotLevel);
    putF64(b, scene.moveStep);
    putU32(b, static_cast<std::uint32_t>(scene.renderMode));
    putU32(b, static_cast<std::uint32_t>(scene.texturedMeshes.size()));
    auto flush = [&] {
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
        b.clear();
    };
    for (const SceneMeshData& mesh : scene.texturedMeshes) {
        std::string name = mesh.textureName;
        name.resize(kTextureNameSize, '\0');
        b += name;
        putGeometry(b, mesh);
        flush();
    }
    for (const SceneMeshData& mesh : scene.colouredMeshes) {
        putU32(b, mesh.colourWord);
        putGeometry(b, mesh);
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
