// Costs of the window layer at 1920 x 1080 client pixels (offscreen platform):
//   Present      PresentDevicePixels alone (the engine's Update during a paint)
//   PaintCycle   InvalidateRect -> WM_PAINT (BeginPaint, present, EndPaint) -> screen update
//   Copy         the viewer's Copy: window DC -> memory bitmap -> clipboard
#include "platform/winapi/qt_bridge.h"
#include "platform/winapi/testing.h"
#include "platform/winapi/winapi.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
std::vector<std::uint32_t> frame;
HWND window = nullptr;

LRESULT CALLBACK proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        BeginPaint(h, &paint);
        PresentDevicePixels(h, frame.data(), kWidth, kHeight, kWidth * 4);
        EndPaint(h, &paint);
        return 0;
    }
    return DefWindowProcA(h, message, wParam, lParam);
}

void BM_Present(benchmark::State& state) {
    for (auto _ : state)
        PresentDevicePixels(window, frame.data(), kWidth, kHeight, kWidth * 4);
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight * 4);
}
BENCHMARK(BM_Present)->Unit(benchmark::kMillisecond);

void BM_PaintCycle(benchmark::State& state) {
    QWidget* client = winapi::clientAreaOf(window);
    for (auto _ : state) {
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window); // WM_PAINT now
        client->repaint();    // and onto the screen's backing store
    }
}
BENCHMARK(BM_PaintCycle)->Unit(benchmark::kMillisecond);

void BM_Copy(benchmark::State& state) {
    for (auto _ : state) {
        HDC screen = GetDC(window);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
        SelectObject(memory, bitmap);
        StretchBlt(memory, 0, 0, kWidth, kHeight, screen, 0, 0, kWidth, kHeight, SRCCOPY);
        OpenClipboard(window);
        EmptyClipboard();
        SetClipboardData(CF_BITMAP, bitmap);
        CloseClipboard();
        DeleteDC(memory);
        ReleaseDC(window, screen);
    }
}
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    frame.resize(static_cast<std::size_t>(kWidth) * kHeight);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xFFFFFFu;

    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "bench";
    RegisterClassA(&wc);
    window = CreateWindowExA(0, "bench", "bench", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                             nullptr, nullptr, nullptr, nullptr);
    if (!window || !winapi::testing::setClientSize(window, kWidth, kHeight)) {
        std::fprintf(stderr, "bench_winapi: no %dx%d window\n", kWidth, kHeight);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DestroyWindow(window);
    return 0;
}
