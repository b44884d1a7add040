// sceneview's window at 1920 x 1080 on the demo scene (Qt's offscreen
// platform): a navigation key until its picture reaches the window, a paint
// alone (the engine's frame), and the rebuild that every resize runs, with the
// process's memory across 1000 rebuilds.
#include "platform/retained/retained.h"
#include "platform/winapi/testing.h"
#include "platform/winapi/winapi.h"
#include "tools/scenegen/generated_scenes.h"
#include "viewer/render_context.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_window.h"

#include <QApplication>
#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Pictures that reached the window.
long gPresents = 0;
void countingPresenter(HWND window, const std::uint32_t* pixels, int width, int height,
                       int strideBytes) {
    ++gPresents;
    PresentDevicePixels(window, pixels, width, height, strideBytes);
}

HWND gWindow = nullptr;
char gSceneDir[64];

void removeSceneDir() {
    const std::string cmd = std::string("rm -rf '") + gSceneDir + "'";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", gSceneDir);
}

bool openViewer() {
    std::snprintf(gSceneDir, sizeof gSceneDir, "/tmp/bench-viewer-XXXXXX");
    if (!mkdtemp(gSceneDir))
        return false;
    std::atexit(removeSceneDir);
    std::string error;
    if (!writeGeneratedScene(gSceneDir, makeDemoScene(), error) || ::chdir(gSceneDir) != 0) {
        std::fprintf(stderr, "bench_viewer_window: %s\n", error.c_str());
        return false;
    }
    if (!registerViewerWindowClass(GetModuleHandleA(nullptr)))
        return false;
    gWindow = createViewerWindow(GetModuleHandleA(nullptr));
    return gWindow && winapi::testing::setClientSize(gWindow, kWidth, kHeight) &&
           viewerState.rmDevice && viewerState.rmDevice->GetWidth() == kWidth;
}

// Key to screen: the key message as the window layer sends it, then the
// event loop runs until the picture of the paint that follows is in the window.
void BM_KeyToPresent(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) {
        const long before = gPresents;
        SendMessageA(gWindow, WM_KEYDOWN, (n++ & 1) ? VK_DOWN : VK_UP, 0);
        while (gPresents == before)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KeyToPresent)->Unit(benchmark::kMillisecond)->UseRealTime();

// The paint alone: clear, render both roots, present (the engine's frame time).
void BM_PaintFrame(benchmark::State& state) {
    for (auto _ : state)
        SendMessageA(gWindow, WM_PAINT, 0, 0);
}
BENCHMARK(BM_PaintFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// A resize's rebuild: the whole context released and built again at the client
// size, the scene file and its textures read again, the view put back.
void BM_ResizeRebuild(benchmark::State& state) {
    for (auto _ : state)
        SendMessageA(gWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(kWidth, kHeight));
}
BENCHMARK(BM_ResizeRebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

long residentKiB() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Memory across 1000 rebuilds, after 20 to settle the allocator.
void BM_ThousandRebuildsMemory(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i)
            SendMessageA(gWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(kWidth, kHeight));
        const long before = residentKiB();
        for (int i = 0; i < 1000; ++i)
            SendMessageA(gWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(kWidth, kHeight));
        state.counters["rss_before_KiB"] = static_cast<double>(before);
        state.counters["rss_growth_KiB"] = static_cast<double>(residentKiB() - before);
    }
}
BENCHMARK(BM_ThousandRebuildsMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Direct3DRMSetPresenter(countingPresenter);
    if (!openViewer()) {
        std::fprintf(stderr, "bench_viewer_window: could not open the viewer at %dx%d\n", kWidth,
                     kHeight);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DestroyWindow(gWindow);
    return 0;
}
