// Picture comparisons for the end-to-end tests.
//   image_match same A B [MAX_SHARE]      A and B have one size and at most MAX_SHARE
//                                         (default 0) of their pixels differ
//   image_match contains SCREEN PART      PART appears in SCREEN pixel for pixel; prints
//                                         the offset found
//   image_match differ A B [MIN_SHARE]    same size, at least MIN_SHARE (default 0.05) differ
//   image_match colours A MIN             A has at least MIN distinct colours
//   image_match text SCREEN TEXT          TEXT, as a label of this display draws it, appears
//                                         in SCREEN pixel for pixel (run on the same display)
// Exit 0 when the statement holds, 1 when not, 2 on bad use or unreadable pictures.
#include <QApplication>
#include <QImage>
#include <QLabel>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

QImage load(const char* path) {
    QImage image(QString::fromLocal8Bit(path));
    if (image.isNull()) {
        std::fprintf(stderr, "image_match: cannot read %s\n", path);
        std::exit(2);
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

double differingShare(const QImage& a, const QImage& b) {
    long long n = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            n += (ra[x] & 0xFFFFFF) != (rb[x] & 0xFFFFFF);
    }
    return static_cast<double>(n) / (static_cast<double>(a.width()) * a.height());
}

bool matchesAt(const QImage& screen, const QImage& part, int ox, int oy) {
    for (int y = 0; y < part.height(); ++y) {
        const auto* rs = reinterpret_cast<const QRgb*>(screen.constScanLine(oy + y)) + ox;
        const auto* rp = reinterpret_cast<const QRgb*>(part.constScanLine(y));
        for (int x = 0; x < part.width(); ++x)
            if ((rs[x] & 0xFFFFFF) != (rp[x] & 0xFFFFFF))
                return false;
    }
    return true;
}

int findPart(const QImage& screen, const QImage& part) {
    for (int oy = 0; oy + part.height() <= screen.height(); ++oy)
        for (int ox = 0; ox + part.width() <= screen.width(); ++ox)
            if (matchesAt(screen, part, ox, oy)) {
                std::printf("found at %d,%d\n", ox, oy);
                return 0;
            }
    std::printf("not found\n");
    return 1;
}

// The text as a label draws it, cropped to its ink.
QImage labelText(const QString& text) {
    QLabel label(text);
    label.setTextFormat(Qt::PlainText);
    label.adjustSize();
    const QImage drawn = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = drawn.pixel(0, 0);
    QRect ink;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (drawn.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
    return drawn.copy(ink);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: image_match same|contains|differ|colours ARGS\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "text") {
        QApplication app(argc, argv);
        const QImage screen = load(argv[2]);
        const QImage part = labelText(QString::fromUtf8(argv[3]));
        if (part.isNull())
            return 2;
        return findPart(screen, part);
    }
    if (mode == "colours") {
        const QImage a = load(argv[2]);
        std::set<QRgb> colours;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                colours.insert(a.pixel(x, y) & 0xFFFFFF);
        std::printf("%zu colours\n", colours.size());
        return colours.size() >= std::strtoul(argv[3], nullptr, 10) ? 0 : 1;
    }
    const QImage a = load(argv[2]);
    const QImage b = load(argv[3]);
    if (mode == "same" || mode == "differ") {
        if (a.size() != b.size()) {
            std::printf("sizes differ: %dx%d and %dx%d\n", a.width(), a.height(), b.width(),
                        b.height());
            return 1;
        }
        const double share = differingShare(a, b);
        std::printf("%.6f of the pixels differ\n", share);
        if (mode == "same")
            return share <= (argc > 4 ? std::atof(argv[4]) : 0.0) ? 0 : 1;
        return share >= (argc > 4 ? std::atof(argv[4]) : 0.05) ? 0 : 1;
    }
    if (mode == "contains")
        return findPart(a, b);
    std::fprintf(stderr, "image_match: unknown mode %s\n", mode.c_str());
    return 2;
}
