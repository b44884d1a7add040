// scenetool render: a scene file drawn off-screen by the viewer's own window
// code (render context, scene load, navigation keys, paint) into a picture file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Client size when --size is not given.
inline constexpr int kRenderDefaultWidth = 1280;
inline constexpr int kRenderDefaultHeight = 720;
// Largest side accepted by --size.
inline constexpr int kRenderMaxSide = 8192;

// render [FILE] -o OUT.png|OUT.bmp [--size WxH] [--keys K,K,...] [--background 0xRRGGBB]
// Exit status: 0 written, 1 the viewer refused the scene or the picture could
// not be written (the viewer's message on err), 2 bad arguments.
int runSceneRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
