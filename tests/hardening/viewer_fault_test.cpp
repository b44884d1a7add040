// The viewer's window over many rebuilds and with its files changing under it:
// memory stays steady across a thousand resize rebuilds of the demo scene, a
// texture that vanishes between two rebuilds ends the run with the one
// message, and a scene file replaced while the viewer runs is read afresh at
// the next resize.
#include "tests/viewer/viewer_window_fixture.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace viewer_test;
namespace fs = std::filesystem;

namespace {

// Resident memory of this process, from /proc/self/status.
long long residentKiB() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %lld kB", &kib) == 1)
            break;
    std::fclose(f);
    return kib;
}

// A fresh folder holding a copy of every file of `from`.
std::string copyOfFolder(const std::string& from, const std::string& name) {
    const std::string to = testTempDir() + "/" + name;
    fs::remove_all(to);
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive);
    return to;
}

// One coloured triangle in front of the camera, with the given ambient level.
SceneBytes oneTriangleScene(double ambient, std::uint32_t colourWord) {
    SceneBytes b;
    b.header({0, -40, 0, 0, 0, 0, 0, -40, 10, 0, 0, 0}, {ambient, 0.5, 0, 0, 2.0}, 1).u32(0);
    b.u32(colourWord).geometry({{-5, 0, -5}, {5, 0, -5}, {0, 0, 5}}, {3, 0, 1, 2, 0});
    return b;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
}

// Colour of the one mesh the tiny scenes have.
D3DCOLOR loadedMeshColour() {
    auto frames = rt::frameChildren(viewerState.meshRootA);
    if (frames.empty())
        return 0;
    auto visuals = rt::frameVisuals(frames.back());
    return visuals.empty() ? 0 : rt::meshColor(visuals.front());
}

void resize(HWND window, int width, int height) {
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

} // namespace

TEST_F(ViewerWindowTest, DemoSceneThousandResizeRebuildsKeepMemorySteady) {
    enterFolder(demoSceneDir());
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(wt::setClientSize(window, 160, 120));
    // Warm-up: buffers reach their sizes, and under the address sanitizer its quarantine of
    // freed memory fills (every rebuild frees the textures, ~1.6 MB).
    for (int i = 0; i < 200; ++i)
        resize(window, 160 + (i & 1) * 40, 120 + (i & 1) * 30);
    ASSERT_TRUE(messages.empty());
    const long long before = residentKiB();
    const std::size_t oneContext = rt::liveObjectCount();
    const int gdiObjects = wt::liveGdiObjects();

    for (int i = 0; i < 1000; ++i) {
        resize(window, 160 + (i & 1) * 40, 120 + (i & 1) * 30);
        if (i % 50 == 0) {
            EXPECT_EQ(paint(), 1);
        }
    }
    const long long grown = residentKiB() - before;
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(rt::liveObjectCount(), oneContext);
    EXPECT_EQ(wt::liveGdiObjects(), gdiObjects);
    // A leak of 32 KB per rebuild would show; the process holds far less than that steady.
    EXPECT_LT(grown, 32 * 1024) << grown << " KiB more after 1000 rebuilds";
}

TEST_F(ViewerWindowTest, TextureThatVanishesBetweenRebuildsEndsTheRunWithTheMessage) {
    const std::string dir = copyOfFolder(demoSceneDir(), "vanishing");
    enterFolder(dir);
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(wt::setClientSize(window, 96, 72));
    ASSERT_TRUE(messages.empty());
    ASSERT_EQ(paint(), 1);

    ASSERT_TRUE(fs::remove(dir + "/crate.bmp"));
    resize(window, 120, 90);
    EXPECT_EQ(messages, std::vector<std::string>{"Could not create scene!"});
    EXPECT_EQ(drainUntilQuit(), 0);
    // What follows before the window goes builds nothing more and breaks nothing.
    resize(window, 64, 48);
    SendMessageA(window, WM_KEYDOWN, VK_UP, 0);
    SendMessageA(window, WM_PAINT, 0, 0);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ViewerWindowTest, SceneFileReplacedWhileRunningIsReadAfreshAtTheNextResize) {
    struct Case {
        const char* how;
        bool byRename; // a new file moved over the old one, or the old one rewritten in place
    };
    for (const Case c : {Case{"moved over", true}, Case{"rewritten in place", false}}) {
        SCOPED_TRACE(c.how);
        const std::string dir = sceneFolder(std::string("replaced-") + (c.byRename ? "a" : "b"));
        writeFile(dir + "/trans.dat", oneTriangleScene(0.5, 0x000000FF).bytes);
        enterFolder(dir);
        messages.clear();
        ASSERT_NE(create(), nullptr);
        ASSERT_TRUE(wt::setClientSize(window, 64, 48));
        EXPECT_EQ(viewerState.ambientLevel, 0.5);
        const D3DCOLOR firstColour = loadedMeshColour();

        const std::string next = oneTriangleScene(0.125, 0x0000FF00).bytes;
        if (c.byRename) {
            writeFile(dir + "/next.dat", next);
            fs::rename(dir + "/next.dat", dir + "/trans.dat");
        } else {
            writeFile(dir + "/trans.dat", next);
        }
        EXPECT_EQ(viewerState.ambientLevel, 0.5); // nothing is read before the resize
        resize(window, 80, 60);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(viewerState.ambientLevel, 0.125);
        EXPECT_NE(loadedMeshColour(), firstColour);
        EXPECT_EQ(paint(), 1);

        DestroyWindow(window);
        window = nullptr;
        EXPECT_EQ(drainUntilQuit(), 0);
        resetViewerState();
    }
}
