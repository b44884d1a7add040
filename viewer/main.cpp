// sceneview start-up: the engine presents its pictures through the window
// layer, and the window layer runs the program's WinMain on a Qt application.
#include "platform/retained/retained.h"
#include "platform/winapi/winapi.h"
#include "viewer/viewer_window.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // The one command-line word the program answers; otherwise it reads no command line.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("sceneview %s\n", SV_VERSION);
        return 0;
    }
    Direct3DRMSetPresenter(PresentDevicePixels);
    return winapi::runWinMain(argc, argv, WinMain);
}
