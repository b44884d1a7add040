// scenegen: writes generated scene files (and their textures) for the viewer,
// the tests and the benchmarks.
#include "tools/scenegen/generated_scenes.h"
#include "tools/scenegen/scene_shapes.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: scenegen demo DIR\n"
    "       scenegen sphere N DIR\n"
    "       scenegen edges DIR\n"
    "       scenegen --help | --version\n"
    "\n"
    "demo DIR      write DIR/trans.dat and its texture images (floor.bmp, panel.bmp,\n"
    "              crate.bmp, marble.bmp): the demo scene, meant to be viewed from DIR\n"
    "sphere N DIR  write DIR/trans.dat holding one coloured sphere of about N triangles\n"
    "edges DIR     write small edge-case scene files, well-formed and malformed, into DIR\n"
    "              (try: scenetool info DIR/count-0x80000000.dat)\n"
    "\n"
    "Output is deterministic: the same bytes on every run.\n"
    "Exit status: 0 written, 1 a file could not be written, 2 bad arguments.\n";

int usageError(const char* message) {
    std::fprintf(stderr, "scenegen: %s\n%s", message, kUsage);
    return 2;
}

int write(const std::string& dir, const GeneratedScene& scene) {
    std::string error;
    if (!writeGeneratedScene(dir, scene, error)) {
        std::fprintf(stderr, "scenegen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("scenegen %s\n", SV_VERSION);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "demo") == 0)
        return write(argv[2], makeDemoScene());
    if (argc == 3 && std::strcmp(argv[1], "edges") == 0) {
        std::string error;
        if (!writeEdgeScenes(argv[2], error)) {
            std::fprintf(stderr, "scenegen: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "sphere") == 0) {
        const std::string_view text = argv[2];
        long long triangles = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), triangles);
        if (ec != std::errc() || end != text.data() + text.size() || triangles < 1)
            return usageError("N must be a positive whole number of triangles");
        if (triangles > maxSphereTriangles()) {
            const std::string msg = "a sphere of " + std::string(text) +
                                    " triangles does not fit one mesh (at most " +
                                    std::to_string(maxSphereTriangles()) + ")";
            return usageError(msg.c_str());
        }
        return write(argv[3], makeSphereScene(triangles));
    }
    return usageError("unknown command or wrong number of arguments");
}
