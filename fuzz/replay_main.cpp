// Replay driver for the fuzz targets: runs each file given (or each regular file
// in each directory given, in name order) once through the target's
// LLVMFuzzerTestOneInput. Built with any compiler, so the corpora are checked
// by every build, sanitizer builds included. Exit 0 when every file ran; a
// finding aborts inside the target as it would under libFuzzer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

namespace {

bool readWhole(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_DIR...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> inDir;
            for (const auto& entry : fs::directory_iterator(fs::absolute(arg), ec))
                if (entry.is_regular_file())
                    inDir.push_back(entry.path());
            if (ec) {
                std::fprintf(stderr, "cannot list %s: %s\n", argv[i], ec.message().c_str());
                return 2;
            }
            std::sort(inDir.begin(), inDir.end());
            files.insert(files.end(), inDir.begin(), inDir.end());
        } else if (fs::is_regular_file(arg, ec)) {
            files.push_back(fs::absolute(arg));
        } else {
            std::fprintf(stderr, "no such file or directory: %s\n", argv[i]);
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "no input files\n");
        return 2;
    }

    // After the paths are made absolute: a target may change the current directory.
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    std::vector<std::uint8_t> bytes;
    for (const fs::path& file : files) {
        if (!readWhole(file, bytes)) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 2;
        }
        std::fprintf(stderr, "%s (%zu bytes)\n", file.c_str(), bytes.size());
        // A copy of exactly the file's size, so a read one past the end is caught.
        std::vector<std::uint8_t> exact(bytes);
        exact.shrink_to_fit();
        LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    }
    std::printf("replayed %zu files\n", files.size());
    return 0;
}
