// Saving a picture onto a file system that is full: the save reports
// "Stream write error", the file saved before stays as it was, and no
// temporary file is left behind. Runs on a small tmpfs of its own, so it needs
// the right to mount (root); skipped otherwise.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>

#include "platform/forms/exception.h"
#include "platform/forms/graphics.h"

namespace {

template <typename F> QString errorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A tmpfs of `size` bytes mounted on a fresh folder for the test's lifetime.
class SmallFileSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QByteArray path = dir.path().toLocal8Bit();
        if (::mount("tmpfs", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted) {
            EXPECT_EQ(::umount(dir.path().toLocal8Bit().constData()), 0) << std::strerror(errno);
        }
    }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir dir;
    bool mounted = false;
};

} // namespace

TEST_F(SmallFileSystem, SaveOntoAFullFileSystemKeepsTheOldFile) {
    const QString target = path(QStringLiteral("tiles.bmp"));
    const TBitmap small(16, 16, TPixelFormat::pf24bit);
    small.SaveToFile(target);
    const QByteArray old = readAll(target);
    ASSERT_FALSE(old.isEmpty());

    struct Case {
        const char* what;
        int width, height;
        TPixelFormat format;
    };
    // Larger than the whole file system, and a picture that fills it to within a few pages
    // (the old file and the new one do not fit side by side).
    for (const Case c : {Case{"1 MiB", 512, 512, TPixelFormat::pf32bit},
                         Case{"just too big", 300, 218, TPixelFormat::pf32bit}}) {
        SCOPED_TRACE(c.what);
        const TBitmap big(c.width, c.height, c.format);
        EXPECT_EQ(errorOf([&] { big.SaveToFile(target); }), QStringLiteral("Stream write error"));
        EXPECT_EQ(readAll(target), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("tiles.bmp")})
            << "no temporary file left";
    }
    // Once there is room again, a save goes through and replaces the file.
    const TBitmap fits(64, 64, TPixelFormat::pf24bit);
    EXPECT_EQ(errorOf([&] { fits.SaveToFile(target); }), QString());
    EXPECT_EQ(readAll(target), fits.SaveToBytes());
}
