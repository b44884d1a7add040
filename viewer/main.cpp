// sceneview start-up: the engine presents its pictures through the window
// layer, and the window layer runs the program's WinMain on a Qt application.
#include "platform/retained/retained.h"
#include "platform/winapi/winapi.h"
#include "viewer/viewer_window.h"

int main(int argc, char** argv) {
    Direct3DRMSetPresenter(PresentDevicePixels);
    return winapi::runWinMain(argc, argv, WinMain);
}
