// Scene folders for the viewer's window tests: the demo scene, a one-triangle
// scene and a folder without a scene file, each written once per process.
#pragma once

#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/viewer/scene_bytes.h"
#include "tools/scenegen/generated_scenes.h"

inline std::string sceneFolder(const std::string& name) {
    const std::string dir = testTempDir() + "/" + name;
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

inline const std::string& demoSceneDir() {
    static const std::string dir = [] {
        const std::string d = sceneFolder("demo");
        std::string error;
        EXPECT_TRUE(writeGeneratedScene(d, makeDemoScene(), error)) << error;
        return d;
    }();
    return dir;
}

// One red triangle in front of the camera, Gouraud shading.
inline const std::string& tinySceneDir() {
    static const std::string dir = [] {
        const std::string d = sceneFolder("tiny");
        SceneBytes b;
        b.header({0, -40, 0, 0, 0, 0, 0, -40, 10, 0, 0, 0}, {0.5, 0.5, 0, 0, 2.0}, 1).u32(0);
        b.u32(0x000000FF).geometry({{-5, 0, -5}, {5, 0, -5}, {0, 0, 5}}, {3, 0, 1, 2, 0});
        writeTempFile("tiny/trans.dat", b.bytes);
        return d;
    }();
    return dir;
}

inline const std::string& noSceneDir() {
    static const std::string dir = sceneFolder("empty");
    return dir;
}

inline void enterFolder(const std::string& dir) {
    ASSERT_EQ(::chdir(dir.c_str()), 0) << dir;
}
