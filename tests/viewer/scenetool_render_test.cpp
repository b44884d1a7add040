// scenetool render, run as the program: pictures of the demo scene, keys,
// background, and the viewer's messages on failure.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <set>
#include <string>
#include <sys/wait.h>

#include "tests/viewer/viewer_test_scenes.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string err;
};

ToolRun scenetool(const std::string& args) {
    const std::string errFile = testTempDir() + "/render-stderr.txt";
    const std::string cmd = std::string(SCENETOOL_PATH) + " render " + args + " 2>" + errFile;
    ToolRun r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (std::FILE* f = std::fopen(errFile.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            r.err.append(buf, n);
        std::fclose(f);
    }
    return r;
}

std::string out(const std::string& name) {
    return testTempDir() + "/" + name;
}

// Share of pixels that differ between two pictures of one size.
double differing(const QImage& a, const QImage& b) {
    long long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return static_cast<double>(n) / (a.width() * a.height());
}

} // namespace

TEST(ScenetoolRender, DrawsTheDemoSceneAtTheAskedSize) {
    const std::string scene = demoSceneDir() + "/trans.dat";
    ASSERT_EQ(scenetool(scene + " -o " + out("plain.png") + " --size 320x200").status, 0);
    const QImage plain(QString::fromStdString(out("plain.png")));
    ASSERT_EQ(plain.size(), QSize(320, 200));
    std::set<QRgb> colours;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            colours.insert(plain.pixel(x, y));
    EXPECT_GT(colours.size(), 500u) << "textured, shaded scene expected";

    // Default size, BMP.
    ASSERT_EQ(scenetool(scene + " -o " + out("default.bmp")).status, 0);
    EXPECT_EQ(QImage(QString::fromStdString(out("default.bmp"))).size(), QSize(1280, 720));
}

TEST(ScenetoolRender, KeysMoveTheCameraAndOppositeKeysComeBack) {
    const std::string scene = demoSceneDir() + "/trans.dat";
    ASSERT_EQ(scenetool(scene + " -o " + out("k0.png") + " --size 320x200").status, 0);
    ASSERT_EQ(scenetool(scene + " -o " + out("k1.png") + " --size 320x200 --keys Up,Up").status, 0);
    ASSERT_EQ(scenetool(scene + " -o " + out("k2.png") +
                        " --size 320x200 --keys Up,Up,Left,PageUp,PageDown,Right,Down,Down")
                  .status,
              0);
    const QImage k0(QString::fromStdString(out("k0.png")));
    const QImage k1(QString::fromStdString(out("k1.png")));
    const QImage k2(QString::fromStdString(out("k2.png")));
    EXPECT_GT(differing(k0, k1), 0.2);
    EXPECT_LT(differing(k0, k2), 0.001); // back where it started, up to rounding
}

TEST(ScenetoolRender, BackgroundColourFillsTheEmptySky) {
    const std::string scene = demoSceneDir() + "/trans.dat";
    ASSERT_EQ(
        scenetool(scene + " -o " + out("bg.png") + " --size 320x200 --background 0x203040").status,
        0);
    const QImage bg(QString::fromStdString(out("bg.png")));
    EXPECT_EQ(bg.pixel(0, 0) & 0xFFFFFFu, 0x203040u);
}

TEST(ScenetoolRender, TheViewersMessageOnFailure) {
    const ToolRun missing = scenetool(noSceneDir() + "/trans.dat -o " + out("none.png"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Could not create scene!"), std::string::npos) << missing.err;

    const std::string cut = writeTempFile("cut-render.dat", std::string(70, '\0'));
    const ToolRun malformed = scenetool(cut + " -o " + out("cut.png"));
    EXPECT_EQ(malformed.status, 1);
    EXPECT_NE(malformed.err.find("Could not create scene!"), std::string::npos);

    const ToolRun unwritable =
        scenetool(demoSceneDir() + "/trans.dat -o " + noSceneDir() + "/no/such/dir/x.png");
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos);
}

TEST(ScenetoolRender, BadArgumentsAreRefused) {
    const std::string scene = demoSceneDir() + "/trans.dat";
    const char* cases[] = {
        "",                                 // no -o
        " -o x.jpg",                        // unknown format
        " -o x.png --size 0x100",           // zero side
        " -o x.png --size 100",             // no height
        " -o x.png --size 99999x10",        // too large
        " -o x.png --keys Up,Jump",         // unknown key
        " -o x.png --keys Up,,Down",        // empty key
        " -o x.png --background 0x1000000", // beyond 24 bits
        " -o x.png --background red",       // not hexadecimal
        " -o x.png --frobnicate",           // unknown option
        " other.dat -o x.png",              // two scene files
    };
    for (const char* c : cases) {
        const ToolRun r = scenetool(scene + c);
        EXPECT_EQ(r.status, 2) << c;
        EXPECT_NE(r.err.find("scenetool render:"), std::string::npos) << c;
    }
}
