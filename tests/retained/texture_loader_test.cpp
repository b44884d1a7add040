// LoadTexture on real files through Qt's image readers: formats, sizes, and files it must
// refuse (missing, not an image, truncated, too large).
#include "platform/retained/retained.h"
#include "platform/retained/testing.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <string>

#include <sys/stat.h>

namespace rt = retained::testing;

namespace {

class TextureLoader : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(Direct3DRMCreate(&rm_), 0);
    }
    void TearDown() override { rm_->Release(); }

    std::string path(const char* name) { return dir_.filePath(name).toStdString(); }
    std::string writeImage(const char* name, int w, int h, const char* format) {
        QImage image(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixel(x, y, qRgb((x * 40) & 255, (y * 70) & 255, 0x33));
        const std::string p = path(name);
        EXPECT_TRUE(image.save(QString::fromStdString(p), format));
        return p;
    }
    std::string writeBytes(const char* name, const QByteArray& bytes) {
        const std::string p = path(name);
        QFile f(QString::fromStdString(p));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return p;
    }

    QTemporaryDir dir_;
    IDirect3DRM* rm_ = nullptr;
};

TEST_F(TextureLoader, ReadsCommonFormatsWithTheirPixels) {
    struct Case {
        const char* name;
        const char* format;
        bool exact; // lossless formats keep every pixel
    };
    for (const Case& c : {Case{"t.bmp", "BMP", true}, Case{"t.png", "PNG", true},
                          Case{"t.ppm", "PPM", true}, Case{"t.jpg", "JPEG", false}}) {
        const std::string p = writeImage(c.name, 5, 3, c.format);
        IDirect3DRMTexture* t = nullptr;
        ASSERT_EQ(rm_->LoadTexture(p.c_str(), &t), 0) << c.name;
        const rt::TextureInfo info = rt::textureInfo(t);
        EXPECT_EQ(info.width, 5);
        EXPECT_EQ(info.height, 3);
        EXPECT_EQ(info.fileName, p);
        ASSERT_EQ(info.pixels.size(), 15u);
        if (c.exact) {
            // Row 0 is the image's top row; 0x00RRGGBB.
            EXPECT_EQ(info.pixels[0], 0x00000033u) << c.name;
            EXPECT_EQ(info.pixels[2 * 5 + 4], 0x00A08C33u) << c.name;
        }
        t->Release();
    }
}

TEST_F(TextureLoader, OneByOneAndContentDecidesTheFormat) {
    IDirect3DRMTexture* t = nullptr;
    const std::string tiny = writeImage("tiny.bmp", 1, 1, "BMP");
    ASSERT_EQ(rm_->LoadTexture(tiny.c_str(), &t), 0);
    EXPECT_EQ(rt::textureInfo(t).width, 1);
    t->Release();
    // A PNG under a .bmp name is read as what it is.
    const std::string misnamed = writeImage("really-a-png.bmp", 3, 2, "PNG");
    ASSERT_EQ(rm_->LoadTexture(misnamed.c_str(), &t), 0);
    EXPECT_EQ(rt::textureInfo(t).height, 2);
    t->Release();
}

TEST_F(TextureLoader, RefusesWhatIsNotAUsableImage) {
    QByteArray truncatedPng;
    {
        const std::string good = writeImage("good.png", 64, 64, "PNG");
        QFile f(QString::fromStdString(good));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        truncatedPng = f.readAll().left(40);
    }
    // A BMP header announcing 20000 x 20000 pixels in a file of a few dozen bytes.
    QByteArray hugeBmp("BM");
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            hugeBmp.append(static_cast<char>((v >> (8 * i)) & 255));
    };
    auto le16 = [&](std::uint16_t v) {
        hugeBmp.append(static_cast<char>(v & 255));
        hugeBmp.append(static_cast<char>(v >> 8));
    };
    le32(54 + 16);
    le32(0);
    le32(54);
    le32(40);
    le32(20000);
    le32(20000);
    le16(1);
    le16(24);
    le32(0);
    le32(0);
    le32(0);
    le32(0);
    le32(0);
    le32(0);
    hugeBmp.append(QByteArray(16, '\0'));

    const std::string missing = path("missing.bmp");
    const std::string text = writeBytes("text.bmp", "this is not an image\n");
    const std::string empty = writeBytes("empty.png", QByteArray());
    const std::string truncated = writeBytes("truncated.png", truncatedPng);
    const std::string huge = writeBytes("huge.bmp", hugeBmp);
    const std::string wide = writeImage("wide.png", 16385, 1, "PNG");
    const std::string directory = dir_.path().toStdString();
    // A named pipe nobody writes to and an endless device: refused at once, never read.
    const std::string fifo = path("pipe.bmp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = "/dev/zero";
    for (const std::string& p :
         {missing, text, empty, truncated, huge, wide, directory, fifo, zero}) {
        IDirect3DRMTexture* t = nullptr;
        EXPECT_LT(rm_->LoadTexture(p.c_str(), &t), 0) << p;
        EXPECT_EQ(t, nullptr);
    }
    // 16384 on a side is still allowed.
    const std::string limit = writeImage("limit.png", 16384, 1, "PNG");
    IDirect3DRMTexture* t = nullptr;
    EXPECT_EQ(rm_->LoadTexture(limit.c_str(), &t), 0);
    if (t)
        t->Release();
}

} // namespace
