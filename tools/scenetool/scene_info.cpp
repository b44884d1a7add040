#include "tools/scenetool/scene_info.h"

#include "tools/scenetool/json_text.h"
#include "viewer/mesh_colour.h"
#include "viewer/scene_file.h"

#include <cstdio>
#include <memory>
#include <ostream>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "\"0x%08X\"", v);
    return buf;
}

void appendVec(std::string& out, const Vec3d& v) {
    out += '[';
    appendJsonNumber(out, v.x);
    out += ", ";
    appendJsonNumber(out, v.y);
    out += ", ";
    appendJsonNumber(out, v.z);
    out += ']';
}

void appendHeader(std::string& out, const ViewerState& s) {
    const CameraPose& p = s.pose;
    out += "{\"eye\": ";
    appendVec(out, p.eye);
    out += ", \"target\": ";
    appendVec(out, p.target);
    out += ", \"lightPos\": ";
    appendVec(out, p.lightPos);
    out += ", \"lightTarget\": ";
    appendVec(out, p.lightTarget);
    const std::pair<const char*, double> levels[] = {{"ambientLevel", s.ambientLevel},
                                                     {"directionalLevel", s.directionalLevel},
                                                     {"pointLevel", s.pointLevel},
                                                     {"spotLevel", s.spotLevel},
                                                     {"moveStep", s.moveStep}};
    out += ",\n            ";
    for (const auto& [name, value] : levels) {
        out += '"';
        out += name;
        out += "\": ";
        appendJsonNumber(out, value);
        out += ", ";
    }
    out += "\"renderMode\": " + std::to_string(s.renderMode) + "}";
}

void appendMesh(std::string& out, const SceneMeshInfo& info, const ViewerState& s) {
    out += "   {\"kind\": ";
    if (info.kind == MeshKind::textured) {
        out += "\"textured\", \"offset\": " + std::to_string(info.offset) + ", \"textureName\": ";
        appendJsonString(out, info.textureName);
    } else {
        out += "\"coloured\", \"offset\": " + std::to_string(info.offset) +
               ", \"colourWord\": " + hex32(info.colourWord) +
               ", \"colour\": " + hex32(meshColourFromWord(info.colourWord));
    }
    const FaceDataSummary faces = summarizeFaceData(s.FaceDataTable, s.meshFaceDataCount);
    out += ", \"vertexCount\": " + std::to_string(s.meshVertexCount) +
           ", \"faceDataCount\": " + std::to_string(s.meshFaceDataCount) +
           ", \"faces\": " + std::to_string(faces.faces) + "}";
}

struct Target {
    std::string file;
    bool ok = false;
};

// One optional FILE argument, defaulting to the viewer's own file name.
Target parseFileArgument(const char* command, const std::vector<std::string>& args,
                         std::ostream& err) {
    if (args.size() > 1) {
        err << "scenetool " << command << ": too many arguments (usage: scenetool " << command
            << " [FILE])\n";
        return {};
    }
    if (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        err << "scenetool " << command << ": unknown option " << args[0] << "\n";
        return {};
    }
    return {args.empty() ? std::string(kSceneFileName) : args[0], true};
}

} // namespace

// The JSON gives the outcome before the meshes, so the file is read twice:
// once for the outcome and the header, then again to stream the meshes out,
// which keeps memory flat however many meshes the file holds.
int runSceneInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Target target = parseFileArgument("info", args, err);
    if (!target.ok)
        return kExitUsage;
    SceneReader reader;
    if (!openSceneFile(reader, target.file.c_str())) {
        err << target.file << ": " << reader.error.message << "\n";
        return kExitUsage;
    }
    auto state = std::make_unique<ViewerState>();
    SceneProgress progress;
    const SceneRead result = readSceneMeshes(reader, *state, progress, [](const SceneMeshInfo&) {});
    const SceneReadError error = reader.error;
    const std::uint64_t fileSize = reader.fileSize;
    const bool ok = result == SceneRead::ok;

    std::string json = "{\"file\": ";
    appendJsonString(json, target.file);
    json += ", \"bytes\": " + std::to_string(fileSize) + ",\n \"ok\": ";
    json += ok ? "true" : "false";
    json += ",\n \"error\": ";
    if (ok) {
        json += "null";
    } else {
        json += "{\"offset\": " + std::to_string(error.offset) + ", \"message\": ";
        appendJsonString(json, error.message);
        json += "}";
    }
    json += ",\n \"header\": ";
    if (progress.headerRead)
        appendHeader(json, *state);
    else
        json += "null";
    json += ",\n \"texturedMeshCount\": ";
    json += progress.countRead ? std::to_string(progress.texturedMeshCount) : "null";
    json += ",\n \"meshes\": [";
    out << json;
    json.clear();

    bool changed = !openSceneFile(reader, target.file.c_str());
    std::size_t meshCount = 0;
    if (!changed) {
        SceneProgress again;
        const SceneRead second =
            readSceneMeshes(reader, *state, again, [&](const SceneMeshInfo& info) {
                json += meshCount++ ? ",\n" : "\n";
                appendMesh(json, info, *state);
                if (json.size() >= 64 * 1024) {
                    out << json;
                    json.clear();
                }
            });
        changed = second != result || reader.fileSize != fileSize ||
                  (!ok && reader.error.offset != error.offset);
    }
    out << json << (meshCount ? "\n ]}\n" : "]}\n");
    out.flush();
    if (changed) {
        err << target.file << ": the file changed while it was being read\n";
        return kExitRefused;
    }
    return ok ? kExitOk : kExitRefused;
}

int runSceneCheck(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    const Target target = parseFileArgument("check", args, err);
    if (!target.ok)
        return kExitUsage;
    SceneReader reader;
    if (!openSceneFile(reader, target.file.c_str())) {
        err << target.file << ": " << reader.error.message << "\n";
        return kExitUsage;
    }
    auto state = std::make_unique<ViewerState>();
    SceneProgress progress;
    if (readSceneMeshes(reader, *state, progress, [](const SceneMeshInfo&) {}) == SceneRead::ok)
        return kExitOk;
    err << target.file << ": offset " << reader.error.offset << ": " << reader.error.message
        << "\n";
    return kExitRefused;
}
