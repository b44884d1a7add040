// Program start-up: a Win32-style entry point run on a Qt application.

#include "platform/winapi/internal.h"

#include <QApplication>

#include <string>

int winapi::runWinMain(int argc, char** argv, WinMainFn winMain) {
    int qtArgc = argc; // QApplication keeps a reference to it
    QApplication app(qtArgc, argv);
    // The program ends when its message loop sees the quit message, not when a window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    detail::keepSettingsInMemory();

    std::string commandLine;
    for (int i = 1; i < qtArgc; ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    const int result =
        winMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);

    // Whatever the program left behind goes before the application does.
    detail::stopAllTimers();
    detail::destroyAllWindowsQuietly();
    detail::flushDeferredDeletes();
    detail::releaseAllGdiObjects();
    return result;
}
