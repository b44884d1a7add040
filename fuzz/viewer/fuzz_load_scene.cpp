// libFuzzer target: any bytes as the scene file of a whole scene load on an
// off-screen engine context, then one render of what loaded. Texture names are
// looked up in a scratch directory that holds one small texture, "t.bmp" (the
// seeds name it). Every engine object made for an input is released again:
// a leak of engine objects across a load, failed or not, is a finding.
// The target changes the current directory: give libFuzzer absolute paths.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include <QImage>
#include <QString>

#include "fuzz/viewer/fuzz_temp_file.h"
#include "platform/retained/retained.h"
#include "platform/retained/testing.h"
#include "viewer/scene_assembly.h"

namespace rt = retained::testing;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

void check(bool condition) {
    if (!condition)
        std::abort();
}

// One state record for the whole run, made fresh for each input: a new 4.8 MB
// record per input would spend most of the run in page faults.
ViewerState& freshState() {
    static ViewerState* const state = new ViewerState;
    ViewerState& s = *state;
    s.pose = {};
    s.savedPose = {};
    s.savedPoseValid = 0;
    s.ambientLevel = s.directionalLevel = s.pointLevel = s.spotLevel = 0.0;
    s.moveStep = 2.0;
    s.renderMode = 0;
    s.backgroundColor = 0;
    std::memset(s.VertexTable, 0, sizeof s.VertexTable);
    std::memset(s.FaceDataTable, 0, sizeof s.FaceDataTable);
    s.meshVertexCount = 0;
    s.meshFaceDataCount = 0;
    return s;
}

// The objects a render-context build makes, made directly.
struct Context {
    ViewerState* state = &freshState();

    Context() {
        ViewerState& s = *state;
        check(Direct3DRMCreate(&s.rmRoot) == 0);
        check(s.rmRoot->CreateFrame(nullptr, &s.sceneFrame) == 0);
        check(s.rmRoot->CreateFrame(nullptr, &s.meshRootA) == 0);
        check(s.rmRoot->CreateFrame(nullptr, &s.meshRootB) == 0);
        check(s.rmRoot->CreateFrame(s.sceneFrame, &s.cameraFrame) == 0);
        check(s.rmRoot->CreateFrame(s.sceneFrame, &s.lightFrame) == 0);
        check(s.rmRoot->CreateDeviceOffscreen(kWidth, kHeight, &s.rmDevice) == 0);
        check(s.rmRoot->CreateViewport(s.rmDevice, s.cameraFrame, 0, 0, kWidth, kHeight,
                                       &s.rmViewport) == 0);
        s.rmViewport->SetBack(5000.0f);
    }
    ~Context() {
        ViewerState& s = *state;
        s.rmViewport->Release();
        s.rmDevice->Release();
        for (auto* f : {s.cameraFrame, s.lightFrame, s.sceneFrame, s.meshRootA, s.meshRootB})
            f->Release();
        s.rmRoot->Release();
        s.rmRoot = nullptr;
        s.sceneFrame = s.cameraFrame = s.lightFrame = s.meshRootA = s.meshRootB = nullptr;
        s.rmDevice = nullptr;
        s.rmViewport = nullptr;
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One render thread: runs stay reproducible, and a loaded machine does not stall every
    // input on waking the workers (the worker pool has tests of its own).
    rt::setRendererThreadCount(1);
    // Texture names in the scene are relative to the current directory.
    if (::chdir(fuzzScratchDir().c_str()) != 0)
        std::abort();
    QImage texture(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            texture.setPixel(x, y, qRgb(x * 60, y * 60, 128));
    if (!texture.save(QStringLiteral("t.bmp"), "BMP"))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t liveBefore = rt::liveObjectCount();
    {
        const std::string path = writeFuzzFile("trans.dat", data, size);
        Context ctx;
        ViewerState& s = *ctx.state;
        if (loadScene(s, path.c_str()) == 1) {
            // As the window paints: the scene (lights, camera), then the meshes under meshRootA.
            s.rmViewport->Clear();
            s.rmViewport->Render(s.sceneFrame);
            s.rmViewport->Render(s.meshRootA);
            const std::uint32_t* pixels = s.rmDevice->GetPixels();
            check(pixels != nullptr);
            std::uint32_t mix = 0;
            for (int i = 0; i < kWidth * kHeight; ++i)
                mix ^= pixels[i]; // reads every pixel: uninitialised ones show under MSan/valgrind
            (void)mix;
        }
    }
    check(rt::liveObjectCount() == liveBefore);
    return 0;
}
