// tegulo-batch run as a process: arguments, exit codes, messages, and the
// pictures it writes.

#include "platform/forms/graphics.h"
#include "tiler/tile_transform.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#ifndef TEGULO_BATCH
#error "TEGULO_BATCH must name the tool"
#endif

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun RunTool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TEGULO_BATCH), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

TBitmap Picture(int w, int h, TPixelFormat format) {
    TBitmap b(w, h, format,
              format == TPixelFormat::pf4bit
                  ? std::vector<TColor>{RGBToColor(0, 0, 0), RGBToColor(255, 0, 0),
                                        RGBToColor(0, 255, 0), RGBToColor(0, 0, 255)}
                  : std::vector<TColor>{});
    TCanvas canvas = b.Canvas();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            canvas.SetPixel(x, y,
                            format == TPixelFormat::pf4bit
                                ? std::vector<TColor>{0, 0xFF, 0xFF00, 0xFF0000}[(x + y) % 4]
                                : RGBToColor(x * 7, y * 3, x + y));
    return b;
}

TEST(TeguloBatch, WrongArgumentsExitTwoWithUsage) {
    const QStringList wrong[] = {
        {},
        {"--block", "3", "a.bmp", "b.bmp"},
        {"--block"},
        {"a.bmp", "b.bmp"},
        {"--block", "8", "only-one.bmp"},
        {"--block", "8", "a.bmp", "b.bmp", "c.bmp"},
        {"--block", "8", "--frobnicate", "a.bmp", "b.bmp"},
        {"--block", "8", "--in-place"},
    };
    for (const QStringList& args : wrong) {
        const ToolRun r = RunTool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage: tegulo-batch")) << args.join(' ').toStdString();
    }
    const ToolRun help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--in-place"));
    const ToolRun version = RunTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("tegulo-batch "));
}

TEST(TeguloBatch, InputToOutputWritesTheTransformedPictureInItsFormat) {
    QTemporaryDir dir;
    for (TPixelFormat format : {TPixelFormat::pf4bit, TPixelFormat::pf24bit}) {
        for (int block : {2, 4, 8}) {
            const TBitmap original = Picture(29, 21, format);
            const QString in = dir.filePath("in.bmp");
            const QString out = dir.filePath("out.bmp");
            original.SaveToFile(in);
            const ToolRun r = RunTool({"--block", QString::number(block), in, out});
            ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
            EXPECT_TRUE(r.err.isEmpty());
            TBitmap expected = original;
            TileTopLeftBlock(expected, block);
            TBitmap written;
            written.LoadFromFile(out);
            EXPECT_EQ(written.PixelFormat(), format);
            EXPECT_EQ(written.Image(), expected.Image()) << block;
            TBitmap input;
            input.LoadFromFile(in);
            EXPECT_EQ(input.Image(), original.Image()) << "input untouched";
        }
    }
}

TEST(TeguloBatch, InPlaceGoesOnAfterAFailureAndExitsOne) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.bmp");
    const QString missing = dir.filePath("missing.bmp");
    const QString bad = dir.filePath("bad.bmp");
    const QString b = dir.filePath("b.bmp");
    const TBitmap original = Picture(17, 17, TPixelFormat::pf24bit);
    original.SaveToFile(a);
    original.SaveToFile(b);
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("BM this is no bitmap at all");
    f.close();

    const ToolRun r = RunTool({"--block=8", "--in-place", a, missing, bad, b});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tegulo-batch: " + missing + ": Cannot open file " + missing + ".\n" +
                         "tegulo-batch: " + bad + ": Bitmap image is not valid.\n");
    TBitmap expected = original;
    TileTopLeftBlock(expected, 8);
    for (const QString& path : {a, b}) {
        TBitmap done;
        done.LoadFromFile(path);
        EXPECT_EQ(done.Image(), expected.Image()) << path.toStdString();
    }
    QFile again(bad);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), QByteArray("BM this is no bitmap at all"));
}

} // namespace
