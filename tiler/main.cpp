// Tegulo: open a BMP picture, tile its top-left block every 8 pixels with a
// block size of 2, 4 or 8, and save it again.

#include "tiler/main_form.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // The one command-line word the program answers; otherwise it reads no command line.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Tegulo %s\n", SV_VERSION);
        return 0;
    }
    TApplication application(argc, argv);
    // The program's icon, also shown by its message boxes and dialogs.
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(MainIconImage())));
    application.CreateForm<TFormMain>();
    return application.Run();
}
