#include "viewer/mesh_colour.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct ColourCase {
    std::uint32_t word;
    std::uint32_t colour;
};

TEST(MeshColour, ConvertsColourWordAsTheViewerShowsIt) {
    const ColourCase cases[] = {
        {0x000000FF, 0xFFFE0000}, // red: full channel becomes 254, low byte to red
        {0x0000FF00, 0xFF00FE00}, {0x00FF0000, 0xFF0000FE}, // bits 16-23 land in the blue byte
        {0x00FFFFFF, 0xFFFEFEFE}, {0x00804020, 0xFF1F3F7F},
        {0x00000000, 0xFF000000}, {0x00000001, 0xFF000000}, // 1 -> 0
        {0x00000002, 0xFF010000}, {0xFF0000FF, 0xFFFE0000}, // top byte ignored
        {0x12345678, 0xFF775533},
    };
    for (const ColourCase& c : cases)
        EXPECT_EQ(meshColourFromWord(c.word), c.colour) << std::hex << c.word;
}

TEST(MeshColour, EveryChannelValueLosesOneExceptZero) {
    for (std::uint32_t c = 0; c < 256; ++c) {
        const std::uint32_t want = c == 0 ? 0 : c - 1;
        EXPECT_EQ(meshColourFromWord(c), 0xFF000000u | (want << 16)) << c;
        EXPECT_EQ(meshColourFromWord(c << 8), 0xFF000000u | (want << 8)) << c;
        EXPECT_EQ(meshColourFromWord(c << 16), 0xFF000000u | want) << c;
    }
}

} // namespace
