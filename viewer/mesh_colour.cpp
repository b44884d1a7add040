#include "viewer/mesh_colour.h"

namespace {
std::uint32_t scaleChannel(std::uint32_t c) {
    return static_cast<std::uint32_t>(static_cast<double>(c) / 256.0 * 255.0);
}
} // namespace

std::uint32_t meshColourFromWord(std::uint32_t colourWord) {
    const std::uint32_t r = scaleChannel(colourWord & 0xFFu);
    const std::uint32_t g = scaleChannel((colourWord >> 8) & 0xFFu);
    const std::uint32_t b = scaleChannel((colourWord >> 16) & 0xFFu);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}
