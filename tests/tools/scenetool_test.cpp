#include "tools/scenetool/json_text.h"
#include "tools/scenetool/scene_info.h"

#include "tests/viewer/scene_bytes.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdio>
#include <limits>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int status;
    std::string out, err;
    QJsonObject json;
};

ToolRun info(const std::string& path) {
    std::ostringstream out, err;
    ToolRun r{runSceneInfo({path}, out, err), out.str(), err.str(), {}};
    if (!r.out.empty()) {
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &pe);
        EXPECT_EQ(pe.error, QJsonParseError::NoError) << pe.errorString().toStdString() << "\n"
                                                      << r.out;
        r.json = doc.object();
    }
    return r;
}

ToolRun check(const std::string& path) {
    std::ostringstream out, err;
    return {runSceneCheck({path}, out, err), out.str(), err.str(), {}};
}

SceneBytes sampleFile() {
    SceneBytes b;
    b.header({5.0, -40.0, 10.0, 0.1, 2.0, 3.0, -3.0, -5.0, 20.0, 0.0, 0.0, 0.0},
             {0.25, 0.5, 0.75, 1.0, 1.0 / 3.0}, 1)
        .u32(1);
    b.name("floor.bmp")
        .geometry({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {1, 1, 1}},
                  {4, 0, 1, 2, 3, 3, 0, 1}); // second face cut short
    b.u32(0xFF0000FF).geometry({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, {3, 0, 1, 2, 0});
    return b;
}

TEST(ScenetoolInfo, DescribesAWellFormedFile) {
    const SceneBytes b = sampleFile();
    const std::string path = writeTempFile("sample.dat", b.bytes);
    const ToolRun r = info(path);
    EXPECT_EQ(r.status, 0) << r.err;
    const QJsonObject& j = r.json;
    EXPECT_EQ(j["file"].toString().toStdString(), path);
    EXPECT_EQ(j["bytes"].toInteger(), static_cast<qint64>(b.size()));
    EXPECT_TRUE(j["ok"].toBool());
    EXPECT_TRUE(j["error"].isNull());
    const QJsonObject h = j["header"].toObject();
    EXPECT_EQ(h["eye"].toArray(), (QJsonArray{-5.0, -40.0, 10.0}));
    EXPECT_EQ(h["target"].toArray()[0].toDouble(), -0.1);
    EXPECT_EQ(h["lightPos"].toArray()[0].toDouble(), 3.0);
    EXPECT_EQ(h["moveStep"].toDouble(), 1.0 / 3.0) << "shortest round-trip form reads back exactly";
    EXPECT_EQ(h["spotLevel"].toDouble(), 1.0);
    EXPECT_EQ(h["renderMode"].toInt(), 1);
    EXPECT_EQ(j["texturedMeshCount"].toInt(), 1);
    const QJsonArray meshes = j["meshes"].toArray();
    ASSERT_EQ(meshes.size(), 2);
    const QJsonObject t = meshes[0].toObject();
    EXPECT_EQ(t["kind"].toString(), "textured");
    EXPECT_EQ(t["offset"].toInt(), 144);
    EXPECT_EQ(t["textureName"].toString(), "floor.bmp");
    EXPECT_EQ(t["vertexCount"].toInt(), 4);
    EXPECT_EQ(t["faceDataCount"].toInt(), 8);
    EXPECT_EQ(t["faces"].toInt(), 1) << "only complete faces count";
    const QJsonObject c = meshes[1].toObject();
    EXPECT_EQ(c["kind"].toString(), "coloured");
    EXPECT_EQ(c["offset"].toInt(), 144 + 101 + 8 + 4 * 24 + 8 * 4);
    EXPECT_EQ(c["colourWord"].toString(), "0xFF0000FF");
    EXPECT_EQ(c["colour"].toString(), "0xFFFE0000");
    EXPECT_EQ(c["faces"].toInt(), 1);
}

struct RefusedCase {
    const char* label;
    std::size_t cutAt; // bytes of sampleFile() kept
    int offset;        // of the fault
    bool header;       // header printed
    int meshes;        // meshes printed
};

TEST(ScenetoolInfo, RefusedFilesPrintWhatWasReadAndTheError) {
    const std::size_t full = sampleFile().size();
    const RefusedCase cases[] = {
        {"empty", 0, 0, false, 0},
        {"cut header", 100, 0, false, 0},
        {"no count", 140, 140, true, 0},
        {"cut in the first mesh", 300, 144 + 101 + 4 + 2 * 24, true, 0},
        {"colourWord of 2 bytes", 144 + 101 + 8 + 96 + 32 + 2, 144 + 101 + 8 + 96 + 32, true, 1},
        {"cut in last face word", full - 1, static_cast<int>(full) - 4, true, 1},
    };
    for (const RefusedCase& c : cases) {
        const std::string path =
            writeTempFile("refused.dat", std::string_view(sampleFile().bytes).substr(0, c.cutAt));
        const ToolRun r = info(path);
        EXPECT_EQ(r.status, 1) << c.label;
        EXPECT_FALSE(r.json["ok"].toBool()) << c.label;
        EXPECT_EQ(r.json["error"].toObject()["offset"].toInt(), c.offset) << c.label << r.out;
        EXPECT_FALSE(r.json["error"].toObject()["message"].toString().isEmpty()) << c.label;
        EXPECT_EQ(r.json["header"].isNull(), !c.header) << c.label;
        EXPECT_EQ(r.json["meshes"].toArray().size(), c.meshes) << c.label;

        const ToolRun k = check(path);
        EXPECT_EQ(k.status, 1) << c.label;
        EXPECT_TRUE(k.out.empty()) << c.label;
        EXPECT_EQ(k.err.rfind(path + ": offset " + std::to_string(c.offset) + ": ", 0), 0u)
            << c.label << ": " << k.err;
        EXPECT_EQ(std::count(k.err.begin(), k.err.end(), '\n'), 1) << c.label;
    }
}

TEST(ScenetoolInfo, NonFiniteHeaderValuesStayValidJson) {
    SceneBytes b;
    b.header({std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
              -0.0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
             {1e308, 4.9e-324, 0.1, 0.2, 0.3}, 0)
        .u32(0);
    const ToolRun r = info(writeTempFile("nonfinite.dat", b.bytes));
    EXPECT_EQ(r.status, 0);
    const QJsonArray eye = r.json["header"].toObject()["eye"].toArray();
    EXPECT_EQ(eye[0].toString(), "NaN");
    EXPECT_EQ(eye[1].toString(), "Infinity");
    EXPECT_EQ(r.json["header"].toObject()["directionalLevel"].toDouble(), 4.9e-324);
}

TEST(ScenetoolInfo, TextureNamesPrintAsUtf8OrEscaped) {
    struct NameCase {
        std::string name, json; // name in the file, string as it stands in the JSON text
    };
    const NameCase cases[] = {
        {"\xEB\xB0\x94\xEB\x8B\xA5.bmp", "\"\xEB\xB0\x94\xEB\x8B\xA5.bmp\""}, // UTF-8 kept
        {"\xB9\xD9\xB4\xDA.bmp", "\"\\u00B9\\u00D9\\u00B4\\u00DA.bmp\""},     // CP949 escaped
        {"a\"b\\c\x01.bmp", "\"a\\\"b\\\\c\\u0001.bmp\""},
        {"\xC0\xAF", "\"\\u00C0\\u00AF\""},            // overlong: not UTF-8
        {"\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\""}, // surrogate: not UTF-8
    };
    for (const NameCase& c : cases) {
        SceneBytes b;
        b.header().u32(1).name(c.name).geometry({}, {});
        const ToolRun r = info(writeTempFile("names.dat", b.bytes));
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("\"textureName\": " + c.json), std::string::npos) << r.out;
    }
}

TEST(ScenetoolInfo, UnopenableFileAndBadArgumentsExitTwo) {
    const std::string fifo = testTempDir() + "/tool-fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path :
         {testTempDir() + "/missing.dat", testTempDir(), fifo, std::string("/dev/zero")}) {
        const ToolRun r = info(path);
        EXPECT_EQ(r.status, 2) << path;
        EXPECT_TRUE(r.out.empty()) << path;
        EXPECT_EQ(r.err.rfind(path + ": cannot open", 0), 0u) << r.err;
        EXPECT_EQ(check(path).status, 2) << path;
    }
    std::ostringstream out, err;
    EXPECT_EQ(runSceneInfo({"a.dat", "b.dat"}, out, err), 2);
    EXPECT_EQ(runSceneCheck({"--frobnicate"}, out, err), 2);
    EXPECT_TRUE(out.str().empty());
}

// ---- The executable ----------------------------------------------------------

ToolRun runTool(const std::string& args, const std::string& cwd = ".") {
    const std::string outFile = testTempDir() + "/tool.out", errFile = testTempDir() + "/tool.err";
    const std::string cmd = "cd '" + cwd + "' && '" SCENETOOL_PATH "' " + args + " >'" + outFile +
                            "' 2>'" + errFile + "' </dev/null";
    const int raw = std::system(cmd.c_str());
    ToolRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", "", {}};
    auto slurp = [](const std::string& p) {
        std::string s;
        if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
            char buf[4096];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                s.append(buf, n);
            std::fclose(f);
        }
        return s;
    };
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    return r;
}

TEST(ScenetoolProgram, CommandsHelpVersionAndExitStatus) {
    const std::string dir = testTempDir() + "/cwd";
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    writeTempFile("cwd/trans.dat", sampleFile().bytes);

    ToolRun r = runTool("info", dir); // FILE defaults to trans.dat
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("{\"file\": \"trans.dat\", \"bytes\": " + std::to_string(sampleFile().size())),
        std::string::npos)
        << r.out;
    r = runTool("check", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty() && r.err.empty());
    r = runTool("check " + writeTempFile("cut.dat", sampleFile().bytes.substr(0, 200)));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(": offset 144: "), std::string::npos) << r.err;

    r = runTool("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("info [FILE]"), std::string::npos);
    EXPECT_NE(r.out.find("check [FILE]"), std::string::npos);
    r = runTool("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("scenetool ") + SV_VERSION + "\n");
    EXPECT_EQ(runTool("").status, 2);
    r = runTool("frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command"), std::string::npos);
    EXPECT_EQ(runTool("info " + dir + "/nothing-here.dat").status, 2);
}

} // namespace
