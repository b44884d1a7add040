// The scenes scenegen writes: the demo scene (with its texture images) and a
// single coloured sphere for benchmarks. Deterministic: same bytes every run.
#pragma once

#include <string>
#include <vector>

#include <QImage>

#include "tools/scenegen/scene_writer.h"

struct SceneTexture {
    std::string fileName; // relative name, as written in the scene file
    QImage image;
};

struct GeneratedScene {
    SceneData scene;
    std::vector<SceneTexture> textures;
};

// A textured floor, two textured crates (8 vertices), a textured tetrahedron
// (4 vertices), a large curved textured panel whose texture coordinates ride
// four entries on, and coloured solids with full and mixed channels; four
// non-zero lights, Gouraud shading.
GeneratedScene makeDemoScene();

// One coloured sphere of about `triangles` triangles (see maxSphereTriangles).
GeneratedScene makeSphereScene(long long triangles);

// Small hand-made edge-case files, well-formed and malformed, for trying
// scenetool and the viewer on the reader's rules.
struct EdgeSceneFile {
    std::string fileName;
    std::string bytes;
    bool wellFormed;
};
std::vector<EdgeSceneFile> makeEdgeScenes();
bool writeEdgeScenes(const std::string& dir, std::string& error);

// Writes DIR/trans.dat and every texture as DIR/<fileName> (BMP), creating
// DIR if needed.
bool writeGeneratedScene(const std::string& dir, const GeneratedScene& scene, std::string& error);
