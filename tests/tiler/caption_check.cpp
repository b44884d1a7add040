// Helper of the Xvfb test: finds each of Tegulo's captions in a screenshot of
// the screen. Each caption is rendered with the form's font and searched for
// inside its control's rectangle by normalised cross-correlation of darkness;
// it must match well, and clearly better than a wrong caption of the same
// script would (so boxes drawn for missing glyphs do not pass).
//
// usage: caption_check SCREENSHOT WINDOW_LEFT WINDOW_TOP
// Run on the same X display as Tegulo, so the fonts resolve alike.

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Darkness {
    int w = 0, h = 0;
    std::vector<double> v;
    double at(int x, int y) const { return v[static_cast<size_t>(y * w + x)]; }
};

Darkness DarknessOf(const QImage& image, const QRect& r) {
    Darkness d;
    d.w = r.width();
    d.h = r.height();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            d.v.push_back(1.0 - qGray(c) / 255.0);
        }
    return d;
}

// The caption as the form draws it, starting `dx` of a pixel to the right
// (the form's text may sit at any fraction of a pixel).
Darkness Render(const QString& text, double dx) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    QImage image(200, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPointF(4 + dx, 20), text);
    }
    // Crop to the ink, with a pixel of margin.
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 200)
                ink |= QRect(x, y, 1, 1);
    return DarknessOf(image, ink.adjusted(-1, -1, 1, 1).intersected(image.rect()));
}

// Best normalised cross-correlation of `t` over every position inside `s`.
double BestMatch(const Darkness& s, const Darkness& t) {
    double best = -1;
    const double n = static_cast<double>(t.w) * t.h;
    double tMean = 0;
    for (double v : t.v)
        tMean += v;
    tMean /= n;
    double tVar = 0;
    for (double v : t.v)
        tVar += (v - tMean) * (v - tMean);
    for (int oy = 0; oy + t.h <= s.h; ++oy)
        for (int ox = 0; ox + t.w <= s.w; ++ox) {
            double sMean = 0;
            for (int y = 0; y < t.h; ++y)
                for (int x = 0; x < t.w; ++x)
                    sMean += s.at(ox + x, oy + y);
            sMean /= n;
            double cov = 0, sVar = 0;
            for (int y = 0; y < t.h; ++y)
                for (int x = 0; x < t.w; ++x) {
                    const double a = s.at(ox + x, oy + y) - sMean;
                    cov += a * (t.at(x, y) - tMean);
                    sVar += a * a;
                }
            if (sVar > 0 && tVar > 0)
                best = std::max(best, cov / std::sqrt(sVar * tVar));
        }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: caption_check SCREENSHOT WINDOW_LEFT WINDOW_TOP\n");
        return 2;
    }
    const QImage shot(QString::fromLocal8Bit(argv[1]));
    if (shot.isNull()) {
        std::fprintf(stderr, "caption_check: cannot read %s\n", argv[1]);
        return 2;
    }
    const QPoint origin(std::atoi(argv[2]), std::atoi(argv[3]));

    struct Caption {
        QString text;
        QRect control; // relative to the client area
        QString wrong; // another caption of the same script, for contrast
    };
    const Caption captions[] = {
        {QStringLiteral("열기"), {8, 184, 73, 41}, QStringLiteral("취소")},
        {QStringLiteral("저장"), {88, 184, 73, 41}, QStringLiteral("닫기")},
        {QStringLiteral("변형"), {168, 184, 73, 41}, QStringLiteral("도움")},
        {QStringLiteral("2*2픽셀추출"), {16, 120, 113, 17}, QStringLiteral("2*2글자보기")},
        {QStringLiteral("4*4필셀추출"), {16, 136, 113, 17}, QStringLiteral("4*4글자보기")},
        {QStringLiteral("8*8픽셀추출"), {16, 152, 113, 17}, QStringLiteral("8*8글자보기")},
        {QStringLiteral("OK"), {8, 232, 241, 49}, QStringLiteral("No")},
    };
    bool allFound = true;
    for (const Caption& c : captions) {
        const QRect area = c.control.translated(origin).intersected(shot.rect());
        const Darkness region = DarknessOf(shot, area);
        double right = -1;
        double wrong = -1;
        for (double dx : {0.0, 0.25, 0.5, 0.75}) {
            right = std::max(right, BestMatch(region, Render(c.text, dx)));
            wrong = std::max(wrong, BestMatch(region, Render(c.wrong, dx)));
        }
        const bool found = right >= 0.75 && right - wrong >= 0.2;
        std::printf("%-14s match %.3f  (wrong caption %.3f)  %s\n", c.text.toUtf8().constData(),
                    right, wrong, found ? "found" : "NOT FOUND");
        allFound = allFound && found;
    }
    return allFound ? 0 : 1;
}
