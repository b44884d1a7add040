// scenetool's "info" and "check" commands: what a scene file holds, or why it
// is refused, through the viewer's own scene reader.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// scenetool info [FILE]: one JSON object on `out`. Exit status 0 when the file
// is well-formed, 1 when it is refused (the JSON then holds all that was read
// and the error), 2 when it cannot be opened or the arguments are wrong
// (message on `err`).
int runSceneInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// scenetool check [FILE]: nothing and 0 when well-formed; otherwise one line
// "FILE: offset N: reason" on `err` and 1 (2 as for info).
int runSceneCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
