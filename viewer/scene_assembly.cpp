#include "viewer/scene_assembly.h"

#include "platform/retained/retained.h"
#include "viewer/mesh_colour.h"
#include "viewer/scene_file.h"

namespace {

// Narrowing of every value handed to the engine: to nearest single precision.
inline D3DVALUE narrow(double v) {
    return static_cast<D3DVALUE>(v);
}

// Objects the load holds a reference of its own to; released on every path.
struct LoadHolds {
    IDirect3DRMFrame* meshFrameA = nullptr;
    IDirect3DRMFrame* meshFrameB = nullptr;
    IDirect3DRMMeshBuilder* mesh = nullptr;
    IDirect3DRMTexture* texture = nullptr;

    LoadHolds() = default;
    LoadHolds(const LoadHolds&) = delete;
    LoadHolds& operator=(const LoadHolds&) = delete;
    ~LoadHolds() {
        releaseTexture();
        releaseMesh();
        if (meshFrameA)
            meshFrameA->Release();
        if (meshFrameB)
            meshFrameB->Release();
    }
    void releaseTexture() {
        if (texture)
            texture->Release();
        texture = nullptr;
    }
    void releaseMesh() {
        if (mesh)
            mesh->Release();
        mesh = nullptr;
    }
};

// Hands the staged mesh to the mesh builder. Its status is not consulted: a
// face list the engine refuses leaves that mesh empty and the load goes on.
void addStagedFaces(ViewerState& state, IDirect3DRMMeshBuilder* mesh) {
    mesh->AddFaces(static_cast<DWORD>(state.meshVertexCount), state.VertexTable, 0, nullptr,
                   state.FaceDataTable, static_cast<DWORD>(state.meshFaceDataCount), nullptr);
}

bool attachToBothFrames(LoadHolds& holds) {
    if (holds.meshFrameA->AddVisual(holds.mesh) < 0)
        return false;
    if (holds.meshFrameB->AddVisual(holds.mesh) < 0)
        return false;
    holds.releaseMesh();
    return true;
}

bool addGreyLight(ViewerState& state, D3DRMLIGHTTYPE type, double level) {
    IDirect3DRMLight* light = nullptr;
    const D3DVALUE grey = narrow(level);
    if (state.rmRoot->CreateLightRGB(type, grey, grey, grey, &light) < 0)
        return false;
    state.lightFrame->AddLight(light);
    light->Release();
    return true;
}

} // namespace

int applyRenderSettings(ViewerState& state) {
    state.sceneFrame->SetSceneBackground(state.backgroundColor);
    if (state.renderMode == 0)
        state.rmDevice->SetQuality(D3DRMRENDER_FLAT);
    else if (state.renderMode == 1)
        state.rmDevice->SetQuality(D3DRMRENDER_GOURAUD);
    return 1;
}

int applyRenderSettings() {
    return applyRenderSettings(viewerState);
}

int loadScene(ViewerState& state, const char* path) {
    LoadHolds holds;
    if (state.rmRoot->CreateFrame(state.meshRootB, &holds.meshFrameB) < 0)
        return 0;
    if (state.rmRoot->CreateFrame(state.meshRootA, &holds.meshFrameA) < 0)
        return 0;

    SceneReader reader; // closes the file on every path
    if (!openSceneFile(reader, path))
        return 0;
    if (readSceneHeader(reader, state) != SceneRead::ok)
        return 0;
    if (applyRenderSettings(state) == 0)
        return 0;

    std::uint32_t texturedMeshCount = 0;
    if (readTexturedMeshCount(reader, texturedMeshCount) != SceneRead::ok)
        return 0;
    std::uint32_t meshesMade = 0;
    char textureName[kTextureNameSize];
    for (std::uint32_t i = 0; i < texturedMeshCount; ++i) {
        if (++meshesMade > kMaxSceneMeshes)
            return 0;
        if (state.rmRoot->CreateMeshBuilder(&holds.mesh) < 0)
            return 0;
        if (readTextureName(reader, textureName) != SceneRead::ok)
            return 0;
        if (state.rmRoot->LoadTexture(textureName, &holds.texture) < 0)
            return 0;
        if (readMeshGeometry(reader, state, MeshKind::textured) != SceneRead::ok)
            return 0;
        addStagedFaces(state, holds.mesh);
        holds.mesh->SetColor(0xFFFFFFFFu);
        holds.mesh->SetTexture(holds.texture);
        forEachTextureCoordinate(
            state, state.meshVertexCount, [&](std::int32_t index, float u, float v) {
                holds.mesh->SetTextureCoordinates(static_cast<DWORD>(index), u, v);
            });
        holds.releaseTexture();
        if (!attachToBothFrames(holds))
            return 0;
    }

    for (;;) {
        std::uint32_t colourWord = 0;
        const SceneRead word = readColourWord(reader, colourWord);
        if (word == SceneRead::end)
            break;
        if (word != SceneRead::ok)
            return 0;
        if (++meshesMade > kMaxSceneMeshes)
            return 0;
        if (state.rmRoot->CreateMeshBuilder(&holds.mesh) < 0)
            return 0;
        if (readMeshGeometry(reader, state, MeshKind::coloured) != SceneRead::ok)
            return 0;
        addStagedFaces(state, holds.mesh);
        holds.mesh->SetColor(meshColourFromWord(colourWord));
        if (!attachToBothFrames(holds))
            return 0;
    }
    closeSceneFile(reader);

    if (!addGreyLight(state, D3DRMLIGHT_AMBIENT, state.ambientLevel) ||
        !addGreyLight(state, D3DRMLIGHT_DIRECTIONAL, state.directionalLevel) ||
        !addGreyLight(state, D3DRMLIGHT_POINT, state.pointLevel) ||
        !addGreyLight(state, D3DRMLIGHT_SPOT, state.spotLevel))
        return 0;

    CameraPose& pose = state.pose;
    pose.viewDir.x = pose.target.x - pose.eye.x;
    pose.viewDir.y = pose.target.y - pose.eye.y;
    pose.viewDir.z = pose.target.z - pose.eye.z;
    if (state.savedPoseValid == 1)
        copyCameraPose(pose, state.savedPose);

    if (state.cameraFrame->SetPosition(state.sceneFrame, narrow(pose.eye.x), narrow(pose.eye.y),
                                       narrow(pose.eye.z)) < 0)
        return 0;
    if (state.cameraFrame->SetOrientation(state.sceneFrame, narrow(pose.viewDir.x),
                                          narrow(pose.viewDir.y), narrow(pose.viewDir.z), 0.0f,
                                          0.0f, 1.0f) < 0)
        return 0;
    if (state.lightFrame->SetPosition(state.sceneFrame, narrow(pose.lightPos.x),
                                      narrow(pose.lightPos.y), narrow(pose.lightPos.z)) < 0)
        return 0;
    if (state.lightFrame->SetOrientation(
            state.sceneFrame, narrow(pose.lightTarget.x - pose.lightPos.x),
            narrow(pose.lightTarget.y - pose.lightPos.y),
            narrow(pose.lightTarget.z - pose.lightPos.z), 0.0f, 0.0f, 1.0f) < 0)
        return 0;
    return 1; // ~LoadHolds releases meshFrameA and meshFrameB; their roots keep them
}

int loadScene() {
    return loadScene(viewerState, kSceneFileName);
}
