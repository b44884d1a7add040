#include "fuzz/viewer/fuzz_temp_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

const std::string& fuzzScratchDir() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/sv-fuzz-XXXXXX";
        if (!mkdtemp(tmpl.data()))
            std::abort();
        static std::string keep = tmpl;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(keep, ec);
        });
        return keep;
    }();
    return dir;
}

std::string writeFuzzFile(const char* name, const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzScratchDir() + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        std::abort();
    return path;
}
