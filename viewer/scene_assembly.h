// Scene assembly: turns the scene file into engine objects under the render
// context that has just been built (meshes under meshRootA and meshRootB, four
// grey lights on lightFrame, camera and light placed), restoring the pose of
// the last paint once there has been one.
#pragma once

#include <cstdint>

#include "viewer/viewer_state.h"

// Meshes one load makes at most (textured and coloured together); a scene file
// with more is refused. Every mesh costs an engine mesh builder of a few hundred
// bytes whatever its size, so a file of millions of empty 12-byte records would
// otherwise turn 1 GB on disk into tens of GB of engine objects.
inline constexpr std::uint32_t kMaxSceneMeshes = 262144;

// Loads "trans.dat" from the current directory into the program's one state
// record. Returns 1 on success, 0 on failure.
int loadScene();

// The same load from any scene file into any state record whose render
// context is built (rmRoot, sceneFrame, cameraFrame, lightFrame, meshRootA,
// meshRootB and rmDevice present). On failure the file is closed and every
// object the load still held is released; what was already attached stays.
int loadScene(ViewerState& state, const char* path);

// Applies backgroundColor to sceneFrame and renderMode to the device
// (0 flat, 1 Gouraud, anything else leaves the device's quality). Always 1.
int applyRenderSettings();
int applyRenderSettings(ViewerState& state);

// Texture coordinates of a textured mesh of vertexCount vertices, as the load
// sets them: calls set(index, u, v) for each vertex that gets a coordinate.
// Below 20 vertices the first eight take fixed corners; from 20 on, vertex j
// takes the x and y of table entry j + 4.
template <class Set>
void forEachTextureCoordinate(const ViewerState& state, std::int32_t vertexCount, Set&& set);

// ---------------------------------------------------------------------------

inline constexpr float kFixedTextureU[8] = {0, 1, 1, 0, 0, 1, 1, 0};
inline constexpr float kFixedTextureV[8] = {0, 0, 1, 1, 0, 0, 1, 1};

template <class Set>
void forEachTextureCoordinate(const ViewerState& state, std::int32_t vertexCount, Set&& set) {
    if (vertexCount < 20) {
        for (std::int32_t i = 0; i < 8 && i < vertexCount; ++i)
            set(i, kFixedTextureU[i], kFixedTextureV[i]);
        return;
    }
    // Blocks of four from 0 while the block starts below n; only vertices
    // below n. The reader caps a large textured mesh at 299996 vertices, so
    // entry j + 4 always lies inside the table.
    for (std::int32_t block = 0; block < vertexCount; block += 4) {
        for (std::int32_t j = block; j < block + 4 && j < vertexCount; ++j) {
            const VertexEntry& e = state.VertexTable[j + 4];
            set(j, e.x, e.y);
        }
    }
}
