// The viewer's window tests run on one Qt application, on Qt's offscreen
// platform unless the environment names another, with the engine presenting
// into the window layer as the program's start-up wires it.
#include <QApplication>

#include <gtest/gtest.h>

#include "platform/retained/retained.h"
#include "platform/winapi/winapi.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Direct3DRMSetPresenter(PresentDevicePixels);
    return RUN_ALL_TESTS();
}
