// scenetool: looks inside scene files with the viewer's own reader.
// Each subcommand is one row of kCommands.
#include "tools/scenetool/render_command.h"
#include "tools/scenetool/scene_info.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

using CommandFn = int (*)(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);

struct Command {
    const char* name;
    const char* synopsis;
    const char* summary;
    CommandFn run;
};

const Command kCommands[] = {
    {"info", "info [FILE]",
     "print what the scene file holds as one JSON object (FILE defaults to trans.dat)",
     runSceneInfo},
    {"check", "check [FILE]",
     "silent when the scene file is well-formed, else \"FILE: offset N: reason\" on stderr",
     runSceneCheck},
    {"render",
     "render [FILE] -o OUT.png|OUT.bmp [--size WxH] [--keys KEYS] [--background 0xRRGGBB]",
     "draw the scene as sceneview shows it (no display needed) at WxH client pixels\n"
     "      (default 1280x720), after KEYS (comma-separated Up, Down, Left, Right, PageUp,\n"
     "      PageDown, each followed by a paint), on the background colour (default black);\n"
     "      textures are found from the scene file's folder; exit 1 with the viewer's\n"
     "      message when the scene cannot be shown",
     runSceneRender},
};

void printUsage(std::ostream& os) {
    os << "usage: scenetool COMMAND [ARGS]\n"
          "       scenetool --help | --version\n\ncommands:\n";
    for (const Command& c : kCommands)
        os << "  " << c.synopsis << "\n      " << c.summary << "\n";
    os << "\nExit status: 0 well-formed, 1 refused (malformed file), 2 cannot open the file or "
          "bad arguments.\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(std::cerr);
        return 2;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        printUsage(std::cout);
        return 0;
    }
    if (first == "--version") {
        std::cout << "scenetool " << SV_VERSION << "\n";
        return 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& c : kCommands) {
        if (first == c.name)
            return c.run(args, std::cout, std::cerr);
    }
    std::cerr << "scenetool: unknown command '" << first << "'\n";
    printUsage(std::cerr);
    return 2;
}
