// Tegulo: open a BMP picture, tile its top-left block every 8 pixels with a
// block size of 2, 4 or 8, and save it again.

#include "tiler/main_form.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.CreateForm<TFormMain>();
    return application.Run();
}
