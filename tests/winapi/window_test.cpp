// Windows: creation, sizes, painting, keys, menu commands, activation, closing.

#include "window_fixture.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include <thread>

using namespace winapi_test;

namespace {

int clientWidthOf(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return r.right;
}
int clientHeightOf(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return r.bottom;
}

QAction* menuItem(QMainWindow* top, const QString& popup, const QString& text) {
    for (QAction* menuAction : top->menuBar()->actions()) {
        if (menuAction->text() != popup || !menuAction->menu())
            continue;
        for (QAction* item : menuAction->menu()->actions())
            if (item->text() == text)
                return item;
    }
    return nullptr;
}

} // namespace

TEST_F(WindowTest, CreateSendsCreateFromInsideThenSizeOfTheShownClientArea) {
    ASSERT_NE(create(), nullptr);
    ASSERT_FALSE(recorder.log.empty());
    EXPECT_EQ(recorder.log.front().message, WM_CREATE);
    EXPECT_EQ(recorder.nameAtCreate, kTitle);
    // The client area has its creation size while WM_CREATE runs, before the window shows.
    EXPECT_GT(recorder.clientAtCreate.right, 0);
    EXPECT_GT(recorder.clientAtCreate.bottom, 0);

    // Shown maximised: a WM_SIZE with the client size follows, before CreateWindowExA returns.
    const auto sizes = recorder.only(WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back().wParam, SIZE_MAXIMIZED);
    EXPECT_EQ(LOWORD(sizes.back().lParam), clientWidthOf(window));
    EXPECT_EQ(HIWORD(sizes.back().lParam), clientHeightOf(window));
    EXPECT_TRUE(top()->isVisible());
    EXPECT_TRUE(top()->isMaximized());
    EXPECT_FALSE(IsIconic(window));
    // The client area lies below the menu bar.
    EXPECT_EQ(clientHeightOf(window),
              static_cast<int>(std::lround((top()->height() - top()->menuBar()->height()) *
                                           client()->devicePixelRatioF())));
}

TEST_F(WindowTest, TitleIsTheUtf8ClassTitleAndTheMenuIsBuiltFromItsResource) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(top()->windowTitle(), QString::fromUtf8(kTitle));
    EXPECT_EQ(top()->windowTitle().left(5), QStringLiteral(u"입체 보기"));
    char title[256];
    EXPECT_EQ(GetWindowTextA(window, title, sizeof title), static_cast<int>(std::strlen(kTitle)));
    EXPECT_STREQ(title, kTitle);
    // A short buffer never ends inside a character (Korean letters are 3 bytes each).
    char shortTitle[5];
    EXPECT_EQ(GetWindowTextA(window, shortTitle, sizeof shortTitle), 3);

    ASSERT_NE(top()->menuBar(), nullptr);
    EXPECT_FALSE(top()->menuBar()->isNativeMenuBar());
    QStringList popups;
    for (QAction* a : top()->menuBar()->actions())
        popups << a->text();
    EXPECT_EQ(popups, (QStringList{"&File", "&Image"}));
    EXPECT_NE(menuItem(top(), "&File", "E&xit"), nullptr);
    EXPECT_NE(menuItem(top(), "&Image", "&Copy"), nullptr);
    EXPECT_NE(menuItem(top(), "&Image", "ChooseBackground"), nullptr);
}

TEST_F(WindowTest, CreationFailsWithoutItsMenuResourceOrClass) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszMenuName = MAKEINTRESOURCEA(999);
    wc.lpszClassName = "NoMenuClass";
    ASSERT_NE(RegisterClassA(&wc), 0);
    EXPECT_EQ(RegisterClassA(&wc), 0); // twice is refused
    EXPECT_EQ(CreateWindowExA(0, "NoMenuClass", "x", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(CreateWindowExA(0, "UnknownClass", "x", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_TRUE(UnregisterClassA("NoMenuClass", nullptr));
}

TEST_F(WindowTest, CreateReturningMinusOneDestroysTheWindow) {
    recorder.hook = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_CREATE)
            return -1;
        return std::nullopt;
    };
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(recorder.count(WM_DESTROY), 1);
    EXPECT_EQ(recorder.count(WM_SIZE), 0);
}

TEST_F(WindowTest, ResizeSendsClientSizeInDevicePixelsAndAPaint) {
    ASSERT_NE(create(), nullptr);
    settle();
    recorder.log.clear();
    ASSERT_TRUE(winapi::testing::setClientSize(window, 320, 200));
    const auto sizes = recorder.only(WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back().wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(sizes.back().lParam), 320);
    EXPECT_EQ(HIWORD(sizes.back().lParam), 200);
    EXPECT_EQ(clientWidthOf(window), 320);
    EXPECT_EQ(clientHeightOf(window), 200);
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WM_PAINT) > 0; }));
    const auto shown = winapi::testing::clientPixels(window);
    EXPECT_EQ(shown.width, 320);
    EXPECT_EQ(shown.height, 200);
}

TEST_F(WindowTest, MinimiseSendsSizeMinimisedWithZeroSizeAndRestoreRepaints) {
    ASSERT_NE(create(), nullptr);
    settle();
    recorder.log.clear();
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(pumpUntil([&] { return IsIconic(window); }));
    auto sizes = recorder.only(WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back().wParam, SIZE_MINIMIZED);
    EXPECT_EQ(sizes.back().lParam, 0);

    recorder.log.clear();
    ShowWindow(window, SW_RESTORE);
    ASSERT_TRUE(pumpUntil([&] { return !IsIconic(window) && recorder.count(WM_PAINT) > 0; }));
    sizes = recorder.only(WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_NE(sizes.back().wParam, SIZE_MINIMIZED);
    EXPECT_EQ(LOWORD(sizes.back().lParam), clientWidthOf(window));
}

TEST_F(WindowTest, PaintComesAfterInvalidateAndDefaultPaintErasesWithTheClassBrush) {
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WM_PAINT) >= 1; }));
    // Default processing painted the white class background.
    const auto before = winapi::testing::clientPixels(window);
    ASSERT_GT(before.width, 0);
    EXPECT_EQ(before.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(before.at(before.width - 1, before.height - 1), 0xFFFFFFu);

    settle(); // the platform may still adjust the new window's geometry
    recorder.log.clear();
    settle();
    EXPECT_EQ(recorder.count(WM_PAINT), 0); // nothing invalid, no paint

    // Several invalidations before the paint arrive as one WM_PAINT.
    InvalidateRect(window, nullptr, FALSE);
    InvalidateRect(window, nullptr, FALSE);
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WM_PAINT) == 1; }));
    settle();
    EXPECT_EQ(recorder.count(WM_PAINT), 1);
    // Without erase no WM_ERASEBKGND; with erase one.
    EXPECT_EQ(recorder.count(WM_ERASEBKGND), 0);
    InvalidateRect(window, nullptr, TRUE);
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WM_PAINT) == 2; }));
    EXPECT_EQ(recorder.count(WM_ERASEBKGND), 1);
}

TEST_F(WindowTest, PresentedPixelsShowInTheClientAreaDuringThePaint) {
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(winapi::testing::setClientSize(window, 64, 48));
    // A 40 x 30 picture with a distinct value per pixel, rows 64 words apart.
    std::vector<std::uint32_t> picture(64 * 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            picture[static_cast<std::size_t>(y * 64 + x)] =
                0xAB000000u | static_cast<std::uint32_t>(y << 16 | x << 8 | (x ^ y));
    PAINTSTRUCT seen{};
    recorder.hook = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m != WM_PAINT)
            return std::nullopt;
        BeginPaint(h, &seen);
        PresentDevicePixels(h, picture.data(), 40, 30, 64 * 4);
        EndPaint(h, &seen);
        return 0;
    };
    InvalidateRect(window, nullptr, FALSE);
    ASSERT_TRUE(pumpUntil([&] { return seen.hdc != nullptr; }));
    EXPECT_EQ(seen.rcPaint.right, 64);
    EXPECT_EQ(seen.rcPaint.bottom, 48);

    const auto shown = winapi::testing::clientPixels(window);
    ASSERT_EQ(shown.width, 64);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(shown.at(x, y), picture[static_cast<std::size_t>(y * 64 + x)] & 0xFFFFFFu)
                << x << "," << y;
    EXPECT_EQ(shown.at(50, 10), 0xFFFFFFu); // outside the picture: the background

    // What reaches the screen is the same picture.
    const QImage screen = client()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(screen.pixel(39, 29) & 0xFFFFFFu, picture[29 * 64 + 39] & 0xFFFFFFu);
}

TEST_F(WindowTest, MalformedPicturesAreRefusedAndLargeOnesClipped) {
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(winapi::testing::setClientSize(window, 16, 16));
    std::vector<std::uint32_t> red(64 * 64, 0xFF0000u);
    PresentDevicePixels(window, nullptr, 8, 8, 32);
    PresentDevicePixels(window, red.data(), 8, 8, 16); // stride shorter than a row
    PresentDevicePixels(window, red.data(), 0, 8, 32);
    PresentDevicePixels(window, red.data(), 8, -1, 32);
    PresentDevicePixels(nullptr, red.data(), 8, 8, 32);
    EXPECT_NE(winapi::testing::clientPixels(window).at(0, 0), 0xFF0000u);

    PresentDevicePixels(window, red.data(), 64, 64, 64 * 4); // larger than the client area
    const auto shown = winapi::testing::clientPixels(window);
    EXPECT_EQ(shown.width, 16);
    EXPECT_EQ(shown.at(15, 15), 0xFF0000u);
}

struct KeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    UINT message;
    UINT vk;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyTest : public WindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyTest, KeyPressGivesItsVirtualKeyMessage) {
    const KeyCase& c = GetParam();
    ASSERT_NE(create(), nullptr);
    settle();
    recorder.log.clear();
    // Swallow system keys so that no menu opens.
    recorder.hook = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_SYSKEYDOWN || m == WM_SYSKEYUP)
            return 0;
        return std::nullopt;
    };
    QTest::keyPress(client(), static_cast<Qt::Key>(c.key), c.modifiers);
    // Modifiers arrive as keys of their own first (VK_SHIFT, VK_CONTROL, VK_MENU).
    std::vector<Message> keys;
    for (const Message& m : recorder.log)
        if (m.wParam == c.vk && (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN))
            keys.push_back(m);
    ASSERT_EQ(keys.size(), 1u) << c.name;
    EXPECT_EQ(keys[0].message, c.message) << c.name;
    EXPECT_EQ(keys[0].wParam, c.vk) << c.name;
    const auto bits = static_cast<std::uint32_t>(keys[0].lParam);
    EXPECT_EQ(bits & 0xFFFF, 1u) << "repeat count";
    EXPECT_EQ(bits >> 31, 0u) << "transition of a press";
    EXPECT_EQ((bits >> 29) & 1, c.modifiers & Qt::AltModifier ? 1u : 0u) << "Alt context";
    QTest::keyRelease(client(), static_cast<Qt::Key>(c.key), c.modifiers);
    const UINT up = c.message == WM_SYSKEYDOWN ? WM_SYSKEYUP : WM_KEYUP;
    int ups = 0;
    for (const Message& m : recorder.only(up))
        ups += m.wParam == c.vk ? 1 : 0;
    EXPECT_EQ(ups, 1) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTest,
    ::testing::Values(KeyCase{"Up", Qt::Key_Up, Qt::NoModifier, WM_KEYDOWN, VK_UP},
                      KeyCase{"Down", Qt::Key_Down, Qt::NoModifier, WM_KEYDOWN, VK_DOWN},
                      KeyCase{"Left", Qt::Key_Left, Qt::NoModifier, WM_KEYDOWN, VK_LEFT},
                      KeyCase{"Right", Qt::Key_Right, Qt::NoModifier, WM_KEYDOWN, VK_RIGHT},
                      KeyCase{"PageUp", Qt::Key_PageUp, Qt::NoModifier, WM_KEYDOWN, VK_PRIOR},
                      KeyCase{"PageDown", Qt::Key_PageDown, Qt::NoModifier, WM_KEYDOWN, VK_NEXT},
                      KeyCase{"ShiftUp", Qt::Key_Up, Qt::ShiftModifier, WM_KEYDOWN, VK_UP},
                      KeyCase{"CtrlLeft", Qt::Key_Left, Qt::ControlModifier, WM_KEYDOWN, VK_LEFT},
                      KeyCase{"Space", Qt::Key_Space, Qt::NoModifier, WM_KEYDOWN, VK_SPACE},
                      KeyCase{"LetterA", Qt::Key_A, Qt::NoModifier, WM_KEYDOWN, 'A'},
                      KeyCase{"Digit7", Qt::Key_7, Qt::NoModifier, WM_KEYDOWN, '7'},
                      KeyCase{"Keypad7", Qt::Key_7, Qt::KeypadModifier, WM_KEYDOWN, VK_NUMPAD0 + 7},
                      KeyCase{"F5", Qt::Key_F5, Qt::NoModifier, WM_KEYDOWN, VK_F1 + 4},
                      KeyCase{"Escape", Qt::Key_Escape, Qt::NoModifier, WM_KEYDOWN, VK_ESCAPE},
                      KeyCase{"AltUp", Qt::Key_Up, Qt::AltModifier, WM_SYSKEYDOWN, VK_UP},
                      KeyCase{"AltX", Qt::Key_X, Qt::AltModifier, WM_SYSKEYDOWN, 'X'},
                      KeyCase{"F10", Qt::Key_F10, Qt::NoModifier, WM_SYSKEYDOWN, VK_F10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, AutoRepeatGivesOneKeyDownPerRepeatAndNoKeyUpBetween) {
    ASSERT_NE(create(), nullptr);
    settle();
    recorder.log.clear();
    QKeyEvent first(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(client(), &first);
    for (int i = 0; i < 3; ++i) {
        // Qt reports a held key as release/press pairs marked auto-repeat.
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(client(), &release);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true, 4);
        QApplication::sendEvent(client(), &press);
    }
    QKeyEvent last(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(client(), &last);

    const auto downs = recorder.only(WM_KEYDOWN);
    ASSERT_EQ(downs.size(), 4u);
    EXPECT_EQ((static_cast<std::uint32_t>(downs[0].lParam) >> 30) & 1, 0u); // first press
    for (std::size_t i = 1; i < downs.size(); ++i) {
        const auto bits = static_cast<std::uint32_t>(downs[i].lParam);
        EXPECT_EQ((bits >> 30) & 1, 1u) << "previous key state of a repeat";
        EXPECT_EQ(bits & 0xFFFF, 1u) << "one message per repeat";
    }
    EXPECT_EQ(recorder.count(WM_KEYUP), 1);
}

TEST_F(WindowTest, AltLetterOpensTheMenuOnlyThroughDefaultProcessing) {
    ASSERT_NE(create(), nullptr);
    settle();
    bool swallow = true;
    recorder.hook = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (swallow && m == WM_SYSKEYDOWN)
            return 0;
        return std::nullopt;
    };
    QTest::keyClick(client(), Qt::Key_I, Qt::AltModifier);
    const auto sys = recorder.only(WM_SYSKEYDOWN); // Alt, then I
    ASSERT_EQ(sys.size(), 2u);
    EXPECT_EQ(sys[0].wParam, VK_MENU);
    EXPECT_EQ(sys[1].wParam, static_cast<WPARAM>('I'));
    EXPECT_EQ(top()->menuBar()->activeAction(), nullptr);

    swallow = false;
    QTest::keyClick(client(), Qt::Key_I, Qt::AltModifier);
    ASSERT_NE(top()->menuBar()->activeAction(), nullptr);
    EXPECT_EQ(top()->menuBar()->activeAction()->text(), "&Image");
    top()->menuBar()->activeAction()->menu()->close();
}

TEST_F(WindowTest, MenuItemsSendTheirCommandIds) {
    ASSERT_NE(create(), nullptr);
    settle();
    struct Item {
        const char* popup;
        const char* text;
        UINT id;
    };
    for (const Item& item : {Item{"&File", "E&xit", kExit}, Item{"&Image", "&Copy", kCopy},
                             Item{"&Image", "ChooseBackground", kChooseBackground}}) {
        recorder.log.clear();
        QAction* action = menuItem(top(), item.popup, item.text);
        ASSERT_NE(action, nullptr) << item.text;
        action->trigger();
        ASSERT_TRUE(pumpUntil([&] { return recorder.count(WM_COMMAND) == 1; })) << item.text;
        const Message command = recorder.only(WM_COMMAND)[0];
        EXPECT_EQ(LOWORD(command.wParam), item.id);
        EXPECT_EQ(HIWORD(command.wParam), 0); // from a menu
        EXPECT_EQ(command.lParam, 0);
    }
}

TEST_F(WindowTest, CloseBoxSendsCloseAndDefaultProcessingDestroysTheWindow) {
    ASSERT_NE(create(), nullptr);
    settle();
    // A procedure that keeps WM_CLOSE keeps the window.
    recorder.hook = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_CLOSE)
            return 0;
        return std::nullopt;
    };
    top()->close();
    EXPECT_EQ(recorder.count(WM_CLOSE), 1);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(top()->isVisible());

    recorder.hook = nullptr;
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 0, 0));
    top()->close();
    EXPECT_EQ(recorder.count(WM_CLOSE), 2);
    EXPECT_EQ(recorder.count(WM_DESTROY), 1);
    EXPECT_FALSE(IsWindow(window));
    // Its posted messages went with it, and nothing more can be posted to it.
    EXPECT_FALSE(PostMessageA(window, WM_USER + 1, 0, 0));
    PostQuitMessage(3);
    MSG m{};
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_EQ(recorder.count(WM_USER + 1), 0);
    // And every call on the stale handle fails cleanly.
    RECT r{};
    EXPECT_FALSE(GetClientRect(window, &r));
    EXPECT_FALSE(InvalidateRect(window, nullptr, FALSE));
    EXPECT_EQ(GetDC(window), nullptr);
    EXPECT_EQ(winapi::topLevelOf(window), nullptr);
}

TEST_F(WindowTest, AltF4ClosesThroughDefaultProcessing) {
    ASSERT_NE(create(), nullptr);
    settle();
    QTest::keyClick(client(), Qt::Key_F4, Qt::AltModifier);
    ASSERT_EQ(recorder.count(WM_SYSKEYDOWN), 2); // Alt, then F4
    EXPECT_EQ(recorder.only(WM_SYSKEYDOWN)[1].wParam, VK_F4);
    EXPECT_EQ(recorder.count(WM_CLOSE), 1);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowTest, ActivationChangesSendActivate) {
    ASSERT_NE(create(), nullptr);
    settle();
    recorder.log.clear();
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(pumpUntil([&] { return !top()->isActiveWindow(); }));
    QApplication::setActiveWindow(top());
    ASSERT_TRUE(pumpUntil([&] { return top()->isActiveWindow(); }));
    const auto activations = recorder.only(WM_ACTIVATE);
    ASSERT_FALSE(activations.empty());
    EXPECT_EQ(LOWORD(activations.back().wParam), WA_ACTIVE);
    bool sawInactive = false;
    for (const Message& m : activations)
        sawInactive = sawInactive || LOWORD(m.wParam) == WA_INACTIVE;
    EXPECT_TRUE(sawInactive);
}
