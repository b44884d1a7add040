// Builds scene-file bytes field by field for tests, independent of the scene
// writer, so that a fault shared by writer and reader cannot hide.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

struct SceneBytes {
    std::string bytes;

    SceneBytes& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    SceneBytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    SceneBytes& f64(double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, 8);
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<char>((b >> (8 * i)) & 0xFF));
        return *this;
    }
    SceneBytes& raw(std::string_view s) {
        bytes.append(s);
        return *this;
    }
    // A 101-byte textureName: the text, a NUL, then `fill` up to 101 bytes.
    SceneBytes& name(std::string_view text, char fill = '\0') {
        std::string field(text);
        field.push_back('\0');
        field.resize(101, fill);
        return raw(field);
    }
    // A header; file x values are given as they stand in the file.
    SceneBytes& header(std::array<double, 12> pose = {1, -40, 10, 0, 0, 0, 5, -5, 20, 0, 0, 0},
                       std::array<double, 5> levels = {0.25, 0.5, 0.75, 1.0, 2.0},
                       std::int32_t renderMode = 1) {
        for (double v : pose)
            f64(v);
        for (double v : levels)
            f64(v);
        return i32(renderMode);
    }
    SceneBytes& geometry(const std::vector<std::array<double, 3>>& vertices,
                         const std::vector<std::uint32_t>& words) {
        i32(static_cast<std::int32_t>(vertices.size()));
        for (const auto& v : vertices) {
            f64(v[0]);
            f64(v[1]);
            f64(v[2]);
        }
        i32(static_cast<std::int32_t>(words.size()));
        for (std::uint32_t w : words)
            u32(w);
        return *this;
    }
    std::size_t size() const { return bytes.size(); }
};

// A private temporary folder, removed with everything in it at exit.
inline const std::string& testTempDir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/sv-test-XXXXXX";
        const char* d = mkdtemp(tmpl);
        if (!d)
            std::abort();
        static std::string keep = d;
        std::atexit([] {
            const std::string cmd = "rm -rf '" + keep + "'";
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "could not remove %s\n", keep.c_str());
        });
        return keep;
    }();
    return dir;
}

inline std::string writeTempFile(const std::string& name, std::string_view bytes) {
    const std::string path = testTempDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        std::abort();
    return path;
}
