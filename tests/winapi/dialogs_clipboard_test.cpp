// Message boxes, the colour dialog, GDI capture and the clipboard.

#include "window_fixture.h"

#include <QColorDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <thread>

using namespace winapi_test;

namespace {

// Answers the next modal dialog from inside its modal loop.
template <class Dialog> void answerNextDialog(std::function<void(Dialog*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            if (!dialog->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start();
}

// The viewer's Copy: the client area as shown, through a memory bitmap, onto the clipboard.
void copyClientArea(HWND window, int width, int height) {
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    SelectObject(memory, bitmap);
    StretchBlt(memory, 0, 0, width, height, screen, 0, 0, width, height, SRCCOPY);
    OpenClipboard(window);
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, bitmap);
    CloseClipboard();
    DeleteDC(memory);
    ReleaseDC(window, screen);
}

std::vector<std::uint32_t> gradient(int width, int height) {
    std::vector<std::uint32_t> p(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<std::size_t>(y * width + x)] = static_cast<std::uint32_t>(
                ((x * 7) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 | ((x + y) & 0xFF));
    return p;
}

} // namespace

TEST_F(WindowTest, MessageBoxSeamGetsTextCaptionAndType) {
    ASSERT_NE(create(), nullptr);
    std::string text;
    bool captionWasNull = false;
    UINT type = 0;
    HWND owner = nullptr;
    winapi::testing::setMessageBoxHandler(
        [&](HWND o, const std::string& t, const char* caption, UINT ty) {
            owner = o;
            text = t;
            captionWasNull = caption == nullptr;
            type = ty;
            return IDOK;
        });
    EXPECT_EQ(MessageBoxA(window, "Could not create scene!", nullptr, MB_ICONERROR), IDOK);
    EXPECT_EQ(owner, window);
    EXPECT_EQ(text, "Could not create scene!");
    EXPECT_TRUE(captionWasNull);
    EXPECT_EQ(type, MB_ICONERROR);
    EXPECT_EQ(type, 0x10u);
}

TEST_F(WindowTest, RealMessageBoxIsAModalErrorBoxDuringWhichTheWindowKeepsWorking) {
    ASSERT_NE(create(), nullptr);
    settle();
    recorder.log.clear();
    bool sawBox = false;
    answerNextDialog<QMessageBox>([&](QMessageBox* box) {
        sawBox = true;
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->windowTitle(), "Error");
        EXPECT_EQ(box->text(), "Could not create scene!");
        EXPECT_EQ(box->buttons().size(), 1);
        // The window procedure is entered again while the box is open: posted messages and
        // paints reach it.
        PostMessageA(window, WM_USER + 1, 0, 0);
        InvalidateRect(window, nullptr, FALSE);
        QTimer::singleShot(50, box, [box] { box->button(QMessageBox::Ok)->click(); });
    });
    EXPECT_EQ(MessageBoxA(window, "Could not create scene!", nullptr, MB_ICONERROR), IDOK);
    EXPECT_TRUE(sawBox);
    EXPECT_EQ(recorder.count(WM_USER + 1), 1);
    EXPECT_GE(recorder.count(WM_PAINT), 1);
}

TEST_F(WindowTest, ChooseColorSeamSeesTheRequestAndItsAnswerIsKept) {
    COLORREF custom[16] = {};
    custom[2] = RGB(1, 2, 3);
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof(cc);
    cc.rgbResult = 0x808080;
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    winapi::testing::setChooseColorHandler([](CHOOSECOLORA& r) {
        EXPECT_EQ(r.rgbResult, 0x808080u);
        EXPECT_EQ(r.lpCustColors[2], RGB(1, 2, 3));
        r.rgbResult = RGB(255, 0, 0);
        r.lpCustColors[5] = RGB(9, 9, 9);
        return TRUE;
    });
    EXPECT_TRUE(ChooseColorA(&cc));
    EXPECT_EQ(cc.rgbResult, 0x0000FFu);
    EXPECT_EQ(custom[5], RGB(9, 9, 9));

    cc.lStructSize = 36; // the 32-bit layout's size is taken as well
    winapi::testing::setChooseColorHandler([](CHOOSECOLORA&) { return FALSE; });
    EXPECT_FALSE(ChooseColorA(&cc));
    cc.lStructSize = 12;
    EXPECT_FALSE(ChooseColorA(&cc));
    cc.lStructSize = sizeof(cc);
    cc.lpCustColors = nullptr;
    EXPECT_FALSE(ChooseColorA(&cc));
}

TEST_F(WindowTest, RealColourDialogOpensOnTheRequestAndCopiesCustomColoursBack) {
    ASSERT_NE(create(), nullptr);
    settle();
    COLORREF custom[16];
    for (int i = 0; i < 16; ++i)
        custom[i] = RGB(static_cast<BYTE>(i * 10), 20, 30);
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof(cc);
    cc.rgbResult = 0x808080;
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;

    // Accepting pure red; the user also added a custom colour.
    answerNextDialog<QColorDialog>([&](QColorDialog* dialog) {
        EXPECT_TRUE(dialog->testOption(QColorDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->currentColor(), QColor(0x80, 0x80, 0x80));
        EXPECT_EQ(QColorDialog::customColor(3), QColor(30, 20, 30));
        PostMessageA(window, WM_USER + 1, 0, 0);
        QColorDialog::setCustomColor(4, QColor(1, 2, 3));
        dialog->setCurrentColor(QColor(255, 0, 0));
        QTimer::singleShot(20, dialog, [dialog] { dialog->accept(); });
    });
    EXPECT_TRUE(ChooseColorA(&cc));
    EXPECT_EQ(cc.rgbResult, 0x000000FFu); // a COLORREF: red in the low byte
    EXPECT_EQ(custom[4], RGB(1, 2, 3));
    EXPECT_EQ(custom[3], RGB(30, 20, 30));
    EXPECT_EQ(recorder.count(WM_USER + 1), 1); // dispatched during the dialog

    // Cancelling leaves rgbResult as it was and says so.
    cc.rgbResult = 0x808080;
    answerNextDialog<QColorDialog>([](QColorDialog* dialog) {
        dialog->setCurrentColor(QColor(0, 0, 255));
        QTimer::singleShot(20, dialog, [dialog] { dialog->reject(); });
    });
    EXPECT_FALSE(ChooseColorA(&cc));
    EXPECT_EQ(cc.rgbResult, 0x808080u);
}

TEST_F(WindowTest, CopyPutsTheClientAreaAsShownOnTheClipboard) {
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(winapi::testing::setClientSize(window, 96, 64));
    const auto picture = gradient(96, 64);
    bool painted = false;
    recorder.hook = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m != WM_PAINT)
            return std::nullopt;
        PAINTSTRUCT ps{};
        BeginPaint(h, &ps);
        PresentDevicePixels(h, picture.data(), 96, 64, 96 * 4);
        EndPaint(h, &ps);
        painted = true;
        return 0;
    };
    InvalidateRect(window, nullptr, FALSE);
    ASSERT_TRUE(pumpUntil([&] { return painted; }));

    const int gdiBefore = winapi::testing::liveGdiObjects();
    copyClientArea(window, 96, 64);
    // The bitmap went to the clipboard; the device contexts are gone: nothing is left over.
    EXPECT_EQ(winapi::testing::liveGdiObjects(), gdiBefore);

    const auto clip = winapi::testing::clipboardImage();
    ASSERT_EQ(clip.width, 96);
    ASSERT_EQ(clip.height, 64);
    EXPECT_EQ(clip.pixels, picture);

    // A copy larger than the client area keeps the picture and leaves the rest black.
    copyClientArea(window, 100, 70);
    const auto larger = winapi::testing::clipboardImage();
    ASSERT_EQ(larger.width, 100);
    EXPECT_EQ(larger.at(95, 63), picture.back());
    EXPECT_EQ(larger.at(99, 69), 0u);
}

TEST_F(WindowTest, GdiRefusesBadSizesAndMisuse) {
    ASSERT_NE(create(), nullptr);
    HDC screen = GetDC(window);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 0, 10), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 10, -1), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 100000, 100000), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(reinterpret_cast<HDC>(0x1234), 10, 10), nullptr);

    HDC a = CreateCompatibleDC(screen);
    HDC b = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_NE(SelectObject(a, bitmap), nullptr);
    EXPECT_EQ(SelectObject(b, bitmap), nullptr); // one device context at a time
    EXPECT_FALSE(DeleteObject(bitmap));          // still selected
    EXPECT_FALSE(StretchBlt(a, 0, 0, 4, 4, screen, 0, 0, 4, 4, 0x00EE0086)); // SRCPAINT
    EXPECT_FALSE(StretchBlt(a, 0, 0, -4, 4, screen, 0, 0, 4, 4, SRCCOPY));

    // Scaling doubles each pixel.
    std::vector<std::uint32_t> two = {0x112233, 0x445566, 0x778899, 0xAABBCC};
    PresentDevicePixels(window, two.data(), 2, 2, 8);
    EXPECT_TRUE(StretchBlt(a, 0, 0, 4, 4, screen, 0, 0, 2, 2, SRCCOPY));
    std::uint32_t bits[16] = {};
    EXPECT_EQ(GetBitmapBits(bitmap, sizeof bits, bits), static_cast<LONG>(sizeof bits));
    EXPECT_EQ(bits[0], 0x112233u);
    EXPECT_EQ(bits[1], 0x112233u);
    EXPECT_EQ(bits[3], 0x445566u);
    EXPECT_EQ(bits[15], 0xAABBCCu);
    EXPECT_EQ(GetBitmapBits(bitmap, 6, bits), 6); // never more than asked
    BITMAP info{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 4);
    EXPECT_EQ(info.bmBitsPixel, 32);

    // Clipboard calls need the clipboard open.
    EXPECT_EQ(SetClipboardData(CF_BITMAP, bitmap), nullptr);
    EXPECT_FALSE(EmptyClipboard());
    EXPECT_FALSE(CloseClipboard());

    DeleteDC(a);
    DeleteDC(b);
    EXPECT_TRUE(DeleteObject(bitmap));
    ReleaseDC(window, screen);
    EXPECT_FALSE(DeleteDC(a)); // gone
}

TEST_F(WindowTest, ScreenShowsOneDevicePixelPerPresentedPixel) {
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(winapi::testing::setClientSize(window, 64, 32));
    const double ratio = client()->devicePixelRatioF();
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) { // the high-density run
        ASSERT_EQ(ratio, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    }
    EXPECT_EQ(client()->width(), static_cast<int>(std::lround(64 / ratio)));
    // A one-pixel checkerboard blurs at once if pixels are scaled.
    std::vector<std::uint32_t> checker(64 * 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            checker[static_cast<std::size_t>(y * 64 + x)] = ((x + y) & 1) ? 0xFFFFFFu : 0x000000u;
    bool painted = false;
    recorder.hook = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m != WM_PAINT)
            return std::nullopt;
        PAINTSTRUCT ps{};
        BeginPaint(h, &ps);
        PresentDevicePixels(h, checker.data(), 64, 32, 64 * 4);
        EndPaint(h, &ps);
        painted = true;
        return 0;
    };
    InvalidateRect(window, nullptr, FALSE);
    ASSERT_TRUE(pumpUntil([&] { return painted; }));
    const QImage screen = client()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(screen.width(), 64);
    ASSERT_EQ(screen.height(), 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(screen.pixel(x, y) & 0xFFFFFFu, checker[static_cast<std::size_t>(y * 64 + x)])
                << x << "," << y;
}

TEST_F(WindowTest, PendingQuitEndsModalDialogsUnansweredAndStaysPending) {
    ASSERT_NE(create(), nullptr);
    // A program that is ending shows no more dialogs: both return at once, unanswered.
    PostQuitMessage(4);
    EXPECT_EQ(MessageBoxA(window, "Could not create scene!", nullptr, MB_ICONERROR), IDOK);
    COLORREF custom[16] = {};
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof(cc);
    cc.rgbResult = 0x808080;
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    EXPECT_FALSE(ChooseColorA(&cc));
    EXPECT_EQ(cc.rgbResult, 0x808080u);
    MSG m{};
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.wParam, 4u);

    // A quit posted from another thread while a box is open closes the box.
    bool sawBox = false;
    answerNextDialog<QMessageBox>([&](QMessageBox*) { sawBox = true; });
    std::thread quitter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        PostQuitMessage(5);
    });
    EXPECT_EQ(MessageBoxA(window, "Could not create scene!", nullptr, MB_ICONERROR), IDOK);
    quitter.join();
    EXPECT_TRUE(sawBox);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.wParam, 5u);
}
