// tegulo-batch: the block tiling transform of Tegulo for many pictures at
// once, with the same bitmap loading, transform and saving as the program.

#include "platform/forms/exception.h"
#include "platform/forms/graphics.h"
#include "tiler/tile_transform.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: tegulo-batch --block {2|4|8} INPUT OUTPUT\n"
    "       tegulo-batch --block {2|4|8} --in-place FILE...\n"
    "\n"
    "Copies the top-left block of each BMP picture to a grid every 8 pixels\n"
    "(block size 2: 3 x 3 pixels, 4: 5 x 5, 8: the whole 8 x 8 period), as\n"
    "Tegulo's transform button does, and saves it as BMP in its own pixel format.\n"
    "\n"
    "  --block N     block size: 2, 4 or 8 (required)\n"
    "  --in-place    transform each FILE and write it back over itself\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "A file is replaced only when the new one is completely written. On a\n"
    "failure the tool reports it, goes on with the next file and exits 1;\n"
    "wrong arguments exit 2.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

void Report(const QString& file, const QString& text) {
    std::fprintf(stderr, "tegulo-batch: %s: %s.\n", file.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
}

// Loads, transforms and saves one picture; reports a failure and returns false.
bool Transform(const QString& input, const QString& output, int block) {
    TBitmap picture;
    QString failing = input;
    try {
        picture.LoadFromFile(input);
        TileTopLeftBlock(picture, block);
        failing = output;
        picture.SaveToFile(output);
        return true;
    } catch (const Exception& e) {
        Report(failing, e.Message());
    } catch (const std::bad_alloc&) {
        Report(failing, QStringLiteral("Out of memory"));
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    int block = 0;
    bool inPlace = false;
    std::vector<QString> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("tegulo-batch %s\n", SV_VERSION);
            return 0;
        }
        if (arg == "--in-place") {
            inPlace = true;
        } else if (arg == "--block" || arg.rfind("--block=", 0) == 0) {
            std::string value;
            if (arg == "--block") {
                if (i + 1 >= argc)
                    return Usage();
                value = argv[++i];
            } else {
                value = arg.substr(std::strlen("--block="));
            }
            if (value != "2" && value != "4" && value != "8")
                return Usage();
            block = value[0] - '0';
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                files.push_back(QFile::decodeName(argv[i]));
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(QFile::decodeName(argv[i]));
        }
    }
    if (block == 0 || files.empty() || (!inPlace && files.size() != 2))
        return Usage();

    bool allDone = true;
    if (inPlace) {
        for (const QString& file : files)
            allDone = Transform(file, file, block) && allDone;
    } else {
        allDone = Transform(files[0], files[1], block);
    }
    return allDone ? 0 : 1;
}
