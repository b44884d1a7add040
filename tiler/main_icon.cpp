#include "tiler/main_form.h"

// A 32 x 32 picture in the 16 colours of the classic display palette: a grey
// sheet with a 3 x 3 block of coloured pixels repeated every 8 pixels, the
// block at the top left outlined in black, as the transform makes it.
QImage MainIconImage() {
    static const QRgb kPalette[16] = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    enum { Black = 0, Grey = 7, DarkGrey = 8, Red = 9, Yellow = 11, Blue = 12, White = 15 };
    static const int kBlock[3][3] = {
        {Red, Yellow, Red}, {Yellow, Blue, Yellow}, {Red, Yellow, Red}};

    QImage icon(32, 32, QImage::Format_Indexed8);
    icon.setColorTable(QList<QRgb>(std::begin(kPalette), std::end(kPalette)));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            int colour = (x + y) % 8 == 0 ? White : Grey;
            if (x == 31 || y == 31)
                colour = DarkGrey;
            if (x % 8 >= 1 && x % 8 <= 3 && y % 8 >= 1 && y % 8 <= 3)
                colour = kBlock[y % 8 - 1][x % 8 - 1];
            if ((x == 0 || x == 4) && y <= 4)
                colour = Black;
            if ((y == 0 || y == 4) && x <= 4)
                colour = Black;
            icon.setPixel(x, y, static_cast<uint>(colour));
        }
    return icon;
}
