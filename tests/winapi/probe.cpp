// A small program on the window layer, driven from outside by the shell tests:
//   winapi_probe window   the viewer-like window: logs its messages on stdout, paints red and
//                         blue halves, Copy (40003) puts the client area on the clipboard,
//                         Exit (40001) and closing end it with code 0
//   winapi_probe failbox  like window, but WM_CREATE and every WM_SIZE show the error box
//                         "Could not create scene!" and post the quit message (a failed build)
//   winapi_probe colour   answers a real colour dialog (custom colour added, red chosen),
//                         prints the result, ends with code 0
#include "platform/winapi/winapi.h"

#include <QApplication>
#include <QColorDialog>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char* const kTitle = "입체 보기 ver 1.0(모라온)-Up,Down,Left,Right,PgUp,PgDn 키보드 사용";

bool failBuilds = false;
int clientWidth = 0;
int clientHeight = 0;
std::vector<std::uint32_t> picture;

void say(const char* format, long a = 0, long b = 0) {
    std::printf(format, a, b);
    std::printf("\n");
    std::fflush(stdout);
}

void copyClientArea(HWND window) {
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, clientWidth, clientHeight);
    SelectObject(memory, bitmap);
    StretchBlt(memory, 0, 0, clientWidth, clientHeight, screen, 0, 0, clientWidth, clientHeight,
               SRCCOPY);
    OpenClipboard(window);
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, bitmap);
    CloseClipboard();
    DeleteDC(memory);
    ReleaseDC(window, screen);
}

void failedBuild(HWND window) {
    say("BOX");
    const int answer = MessageBoxA(window, "Could not create scene!", nullptr, MB_ICONERROR);
    say("ANSWER %ld", answer);
    PostQuitMessage(0);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (failBuilds)
            failedBuild(window);
        return 0;
    case WM_SIZE:
        clientWidth = LOWORD(lParam);
        clientHeight = HIWORD(lParam);
        say("SIZE %ld %ld", clientWidth, clientHeight);
        if (failBuilds)
            failedBuild(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        BeginPaint(window, &paint);
        picture.assign(static_cast<std::size_t>(clientWidth) * clientHeight, 0);
        for (int y = 0; y < clientHeight; ++y)
            for (int x = 0; x < clientWidth; ++x)
                picture[static_cast<std::size_t>(y) * clientWidth + x] =
                    x < clientWidth / 2 ? 0xFF0000u : 0x0000FFu;
        if (!picture.empty())
            PresentDevicePixels(window, picture.data(), clientWidth, clientHeight, clientWidth * 4);
        EndPaint(window, &paint);
        say("PAINT");
        return 0;
    }
    case WM_KEYDOWN:
        say("KEYDOWN %ld", static_cast<long>(wParam));
        return 0;
    case WM_SYSKEYDOWN:
        say("SYSKEYDOWN %ld", static_cast<long>(wParam));
        break; // default processing opens menus, Alt+F4 closes
    case WM_COMMAND:
        if (LOWORD(wParam) == 40003) {
            copyClientArea(window);
            say("COPIED");
        } else if (LOWORD(wParam) == 40001) {
            PostQuitMessage(0);
        }
        break;
    case WM_DESTROY:
        say("DESTROY");
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool registerWindowClass() {
    static const MenuResourceItem menu[] = {
        {"&File", "E&xit", 40001},
        {"&Image", "&Copy", 40003},
        {"&Image", "ChooseBackground", 40006},
    };
    RegisterMenuResource(MAKEINTRESOURCEA(101), menu, 3);
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEA(101);
    wc.lpszClassName = kTitle;
    return RegisterClassA(&wc) != 0;
}

int runMessageLoop() {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

int windowMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!registerWindowClass())
        return 1;
    HWND window = CreateWindowExA(0, kTitle, kTitle, WS_VISIBLE | WS_MAXIMIZE | WS_OVERLAPPEDWINDOW,
                                  100, 100, 768, 768, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    const int code = runMessageLoop();
    say("EXIT %ld", code);
    return code;
}

int colourMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!registerWindowClass())
        return 1;
    HWND window = CreateWindowExA(0, kTitle, kTitle, WS_VISIBLE | WS_OVERLAPPEDWINDOW, 100, 100,
                                  300, 300, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    // Answers the dialog as a user would: adds a custom colour, picks red, presses OK.
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll] {
        if (auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            QColorDialog::setCustomColor(0, QColor(10, 20, 30));
            dialog->setCurrentColor(QColor(255, 0, 0));
            dialog->accept();
        }
    });
    poll->start(10);
    COLORREF custom[16] = {};
    CHOOSECOLORA request{};
    request.lStructSize = sizeof(request);
    request.rgbResult = 0x808080;
    request.lpCustColors = custom;
    request.Flags = CC_RGBINIT | CC_FULLOPEN;
    const BOOL chosen = ChooseColorA(&request);
    say("CHOSEN %ld %06lx", chosen, static_cast<long>(request.rgbResult));
    say("CUSTOM0 %06lx", static_cast<long>(custom[0]));
    DestroyWindow(window);
    return runMessageLoop();
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "window") == 0)
        return winapi::runWinMain(argc, argv, windowMain);
    if (argc >= 2 && std::strcmp(argv[1], "failbox") == 0) {
        failBuilds = true;
        return winapi::runWinMain(argc, argv, windowMain);
    }
    if (argc >= 2 && std::strcmp(argv[1], "colour") == 0)
        return winapi::runWinMain(argc, argv, colourMain);
    std::fprintf(stderr, "usage: winapi_probe window|failbox|colour\n");
    return 2;
}
