// Reading a ~100 MB scene file from the page cache through the scene reader
// into the static tables, against plain read() of the same bytes (what
// `cat FILE > /dev/null` costs).
#include "tools/scenegen/scene_shapes.h"
#include "tools/scenegen/scene_writer.h"
#include "viewer/scene_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The generated file, removed at exit (a plain array: it outlives every static).
char gScenePath[128];

void removeSceneFile() {
    std::remove(gScenePath);
}

// 6 textured meshes of 299996 vertices and 300000 face words, then 24
// coloured spheres of about 74500 triangles: about 100 MB.
const std::string& sceneFile() {
    static const std::string path = [] {
        std::string p = "/tmp/bench_scene_read_" + std::to_string(::getpid()) + ".dat";
        SceneData s;
        s.eye = {0, -30, 10};
        s.moveStep = 1;
        s.renderMode = 1;
        SceneMeshData big;
        big.textureName = "panel.bmp";
        big.vertices.resize(kMaxLargeTexturedVertexCount);
        for (std::size_t i = 0; i < big.vertices.size(); ++i)
            big.vertices[i] = {i * 0.001, -(i * 0.002), 1.0 / (1.0 + i)};
        big.faceData.assign(kMeshTableCapacity, 7);
        s.texturedMeshes.assign(6, big);
        SceneMeshData sphere =
            makeSphere({0, 0, 0}, 10, sphereStacksForTriangles(maxSphereTriangles()),
                       2 * sphereStacksForTriangles(maxSphereTriangles()));
        sphere.colourWord = 0x0040A0F0;
        s.colouredMeshes.assign(24, sphere);
        std::snprintf(gScenePath, sizeof gScenePath, "%s", p.c_str());
        std::atexit(removeSceneFile);
        std::string error;
        if (!writeSceneFile(p, s, error)) {
            std::fprintf(stderr, "bench_scene_read: %s\n", error.c_str());
            std::exit(1);
        }
        return p;
    }();
    return path;
}

void BM_ReadSceneIntoTables(benchmark::State& st) {
    const std::string& path = sceneFile();
    auto state = std::make_unique<ViewerState>();
    std::uint64_t bytes = 0, meshes = 0;
    for (auto _ : st) {
        SceneReader reader;
        if (!openSceneFile(reader, path.c_str())) {
            st.SkipWithError(reader.error.message.c_str());
            return;
        }
        SceneProgress progress;
        const SceneRead r = readSceneMeshes(reader, *state, progress, [&](const SceneMeshInfo&) {
            ++meshes;
            benchmark::DoNotOptimize(state->VertexTable[0]);
        });
        if (r != SceneRead::ok) {
            st.SkipWithError(reader.error.message.c_str());
            return;
        }
        bytes += reader.fileSize;
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["meshes"] = benchmark::Counter(static_cast<double>(meshes) / st.iterations());
}
BENCHMARK(BM_ReadSceneIntoTables)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: read() the same file into a 128 KiB buffer and drop the bytes.
void BM_PlainReadOfTheSameFile(benchmark::State& st) {
    const std::string& path = sceneFile();
    std::vector<char> buf(128 * 1024);
    std::uint64_t bytes = 0;
    for (auto _ : st) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ssize_t got;
        while ((got = ::read(fd, buf.data(), buf.size())) > 0)
            bytes += static_cast<std::uint64_t>(got);
        ::close(fd);
        benchmark::DoNotOptimize(buf.data());
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_PlainReadOfTheSameFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
