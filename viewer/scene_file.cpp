#include "viewer/scene_file.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough that a 100 MB file costs a few hundred system calls, small
// enough to stay in the cache while its bytes are converted.
constexpr std::size_t kBufferSize = 256 * 1024;

constexpr std::size_t kVertexBytes = 24;
constexpr std::size_t kWordBytes = 4;

std::uint32_t loadU32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    return v;
}

double loadF64(const unsigned char* p) {
    std::uint64_t bits;
    std::memcpy(&bits, p, sizeof bits);
    if constexpr (std::endian::native == std::endian::big)
        bits = __builtin_bswap64(bits);
    return std::bit_cast<double>(bits);
}

SceneRead fail(SceneReader& r, std::uint64_t offset, std::string message) {
    r.failed = true;
    r.error.offset = offset;
    r.error.message = std::move(message);
    return SceneRead::malformed;
}

// Makes at least `want` (<= kBufferSize) unread bytes available in the buffer
// if the file has them. Returns the number available (less than `want` only at
// the end of the file or on a read error, which sets r.error and r.failed).
std::size_t fill(SceneReader& r, std::size_t want) {
    std::size_t have = r.bufferEnd - r.bufferPos;
    if (have >= want || r.endOfFile)
        return have;
    if (r.bufferPos != 0) {
        std::memmove(r.buffer.get(), r.buffer.get() + r.bufferPos, have);
        r.bufferPos = 0;
        r.bufferEnd = have;
    }
    while (r.bufferEnd < want) {
        const ssize_t got = ::read(r.fd, r.buffer.get() + r.bufferEnd, kBufferSize - r.bufferEnd);
        if (got > 0) {
            r.bufferEnd += static_cast<std::size_t>(got);
        } else if (got == 0) {
            r.endOfFile = true;
            break;
        } else if (errno != EINTR) {
            const int err = errno;
            fail(r, r.offset + (r.bufferEnd - r.bufferPos),
                 std::string("read error: ") + std::strerror(err));
            break;
        }
    }
    return r.bufferEnd - r.bufferPos;
}

void consume(SceneReader& r, std::size_t n) {
    r.bufferPos += n;
    r.offset += n;
}

// Reads one fixed-size field (n <= kBufferSize). On a short file returns
// malformed with "<what> cut short by the end of the file".
SceneRead readField(SceneReader& r, unsigned char* out, std::size_t n, std::string_view what) {
    const std::size_t have = fill(r, n);
    if (r.failed)
        return SceneRead::malformed;
    if (have < n) {
        return fail(r, r.offset,
                    std::string(what) + " cut short by the end of the file (" +
                        std::to_string(have) + " of " + std::to_string(n) + " bytes)");
    }
    std::memcpy(out, r.buffer.get() + r.bufferPos, n);
    consume(r, n);
    return SceneRead::ok;
}

SceneRead readI32(SceneReader& r, std::int32_t& v, std::string_view what) {
    unsigned char b[4];
    const SceneRead s = readField(r, b, sizeof b, what);
    if (s == SceneRead::ok)
        v = static_cast<std::int32_t>(loadU32(b));
    return s;
}

// Checks a count from the file before anything is stored.
SceneRead checkCount(SceneReader& r, std::uint64_t at, std::int32_t value, std::int32_t limit,
                     std::string_view what, std::string_view limitReason) {
    if (value < 0)
        return fail(r, at, std::string(what) + " " + std::to_string(value) + " is negative");
    if (value > limit) {
        return fail(r, at,
                    std::string(what) + " " + std::to_string(value) + " exceeds " +
                        std::to_string(limit) + std::string(limitReason));
    }
    return SceneRead::ok;
}

SceneRead readVertices(SceneReader& r, VertexEntry* table, std::int32_t count) {
    std::int32_t i = 0;
    while (i < count) {
        const std::size_t have = fill(r, kVertexBytes);
        if (r.failed)
            return SceneRead::malformed;
        if (have < kVertexBytes) {
            return fail(r, r.offset,
                        "vertex " + std::to_string(i) + " of " + std::to_string(count) +
                            " cut short by the end of the file");
        }
        const std::size_t inBuffer = have / kVertexBytes;
        const std::size_t left = static_cast<std::size_t>(count - i);
        const std::size_t n = inBuffer < left ? inBuffer : left;
        const unsigned char* p = r.buffer.get() + r.bufferPos;
        VertexEntry* out = table + i;
        for (std::size_t k = 0; k < n; ++k, p += kVertexBytes) {
            out[k].x = static_cast<float>(-loadF64(p));
            out[k].y = static_cast<float>(loadF64(p + 8));
            out[k].z = static_cast<float>(loadF64(p + 16));
        }
        consume(r, n * kVertexBytes);
        i += static_cast<std::int32_t>(n);
    }
    return SceneRead::ok;
}

SceneRead readWords(SceneReader& r, std::uint32_t* table, std::int32_t count) {
    std::int32_t j = 0;
    while (j < count) {
        const std::size_t have = fill(r, kWordBytes);
        if (r.failed)
            return SceneRead::malformed;
        if (have < kWordBytes) {
            return fail(r, r.offset,
                        "face data word " + std::to_string(j) + " of " + std::to_string(count) +
                            " cut short by the end of the file");
        }
        const std::size_t inBuffer = have / kWordBytes;
        const std::size_t left = static_cast<std::size_t>(count - j);
        const std::size_t n = inBuffer < left ? inBuffer : left;
        const unsigned char* p = r.buffer.get() + r.bufferPos;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(table + j, p, n * kWordBytes);
        } else {
            for (std::size_t k = 0; k < n; ++k)
                table[j + static_cast<std::int32_t>(k)] = loadU32(p + k * kWordBytes);
        }
        consume(r, n * kWordBytes);
        j += static_cast<std::int32_t>(n);
    }
    return SceneRead::ok;
}

} // namespace

SceneReader::~SceneReader() {
    closeSceneFile(*this);
}

bool openSceneFile(SceneReader& reader, const char* path) {
    closeSceneFile(reader);
    reader.fileSize = 0;
    reader.offset = 0;
    reader.bufferPos = 0;
    reader.bufferEnd = 0;
    reader.endOfFile = false;
    reader.failed = false;
    reader.error = {};
    auto refuse = [&](std::string message) {
        reader.failed = true;
        reader.error.offset = 0;
        reader.error.message = std::move(message);
        return false;
    };
    // Non-blocking so that opening a FIFO cannot wait for a writer; the mode
    // does not matter for the regular files that get past the check below.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return refuse(std::string("cannot open: ") + std::strerror(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return refuse(std::string("cannot open: ") + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(S_ISDIR(st.st_mode) ? "cannot open: is a directory"
                                          : "cannot open: not a regular file");
    }
    if (!reader.buffer)
        reader.buffer = std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
    reader.fd = fd;
    reader.fileSize = static_cast<std::uint64_t>(st.st_size);
    return true;
}

void closeSceneFile(SceneReader& reader) {
    if (reader.fd >= 0) {
        ::close(reader.fd);
        reader.fd = -1;
    }
}

SceneRead readSceneHeader(SceneReader& r, ViewerState& state) {
    if (r.failed)
        return SceneRead::malformed;
    unsigned char h[kSceneHeaderSize];
    if (readField(r, h, sizeof h, "scene header") != SceneRead::ok)
        return SceneRead::malformed;
    auto f = [&](std::size_t at) { return loadF64(h + at); };
    CameraPose& p = state.pose;
    p.eye = {-f(0), f(8), f(16)};
    p.target = {-f(24), f(32), f(40)};
    p.lightPos = {-f(48), f(56), f(64)};
    p.lightTarget = {-f(72), f(80), f(88)};
    state.ambientLevel = f(96);
    state.directionalLevel = f(104);
    state.pointLevel = f(112);
    state.spotLevel = f(120);
    state.moveStep = f(128);
    state.renderMode = static_cast<std::int32_t>(loadU32(h + 136));
    return SceneRead::ok;
}

SceneRead readTexturedMeshCount(SceneReader& r, std::uint32_t& count) {
    if (r.failed)
        return SceneRead::malformed;
    unsigned char b[4];
    if (readField(r, b, sizeof b, "texturedMeshCount") != SceneRead::ok)
        return SceneRead::malformed;
    count = loadU32(b);
    return SceneRead::ok;
}

SceneRead readTextureName(SceneReader& r, char (&textureName)[kTextureNameSize]) {
    if (r.failed)
        return SceneRead::malformed;
    const std::uint64_t at = r.offset;
    unsigned char b[kTextureNameSize];
    if (fill(r, 1) == 0) {
        if (r.failed)
            return SceneRead::malformed;
        return fail(r, at,
                    "file ends where a textured mesh record is due "
                    "(texturedMeshCount larger than the records present)");
    }
    if (readField(r, b, sizeof b, "textureName") != SceneRead::ok)
        return SceneRead::malformed;
    if (std::memchr(b, 0, sizeof b) == nullptr)
        return fail(r, at, "textureName has no NUL in its 101 bytes");
    std::memcpy(textureName, b, sizeof b);
    return SceneRead::ok;
}

SceneRead readMeshGeometry(SceneReader& r, ViewerState& state, MeshKind kind) {
    if (r.failed)
        return SceneRead::malformed;
    std::uint64_t at = r.offset;
    std::int32_t n = 0;
    if (readI32(r, n, "vertexCount") != SceneRead::ok ||
        checkCount(r, at, n, kMeshTableCapacity, "vertexCount", " (vertex table capacity)") !=
            SceneRead::ok)
        return SceneRead::malformed;
    if (kind == MeshKind::textured && n >= kLargeTexturedMeshVertices &&
        n > kMaxLargeTexturedVertexCount) {
        return fail(r, at,
                    "vertexCount " + std::to_string(n) + " exceeds " +
                        std::to_string(kMaxLargeTexturedVertexCount) +
                        " for a textured mesh (its texture coordinates lie four entries on)");
    }
    state.meshVertexCount = n;
    if (readVertices(r, state.VertexTable, n) != SceneRead::ok)
        return SceneRead::malformed;

    at = r.offset;
    std::int32_t m = 0;
    if (readI32(r, m, "faceDataCount") != SceneRead::ok ||
        checkCount(r, at, m, kMeshTableCapacity, "faceDataCount", " (face data table capacity)") !=
            SceneRead::ok)
        return SceneRead::malformed;
    state.meshFaceDataCount = m;
    if (readWords(r, state.FaceDataTable, m) != SceneRead::ok)
        return SceneRead::malformed;
    return SceneRead::ok;
}

SceneRead readColourWord(SceneReader& r, std::uint32_t& colourWord) {
    if (r.failed)
        return SceneRead::malformed;
    const std::size_t have = fill(r, 4);
    if (r.failed)
        return SceneRead::malformed;
    if (have == 0)
        return SceneRead::end;
    unsigned char b[4];
    if (readField(r, b, sizeof b, "colourWord") != SceneRead::ok)
        return SceneRead::malformed;
    colourWord = loadU32(b);
    return SceneRead::ok;
}

FaceDataSummary summarizeFaceData(const std::uint32_t* words, std::int32_t count) {
    FaceDataSummary s;
    const std::uint64_t m = count > 0 ? static_cast<std::uint64_t>(count) : 0;
    std::uint64_t i = 0;
    while (i < m) {
        const std::uint64_t n = words[i];
        if (n == 0) {
            s.terminated = true;
            s.wordsUsed = static_cast<std::int32_t>(i + 1);
            return s;
        }
        if (n > m - i - 1)
            break; // the words run out inside this face
        for (std::uint64_t k = 1; k <= n; ++k)
            s.maxIndex = words[i + k] > s.maxIndex ? words[i + k] : s.maxIndex;
        ++s.faces;
        i += n + 1;
    }
    s.wordsUsed = static_cast<std::int32_t>(i);
    return s;
}
