// Colour of a coloured mesh, from the colourWord of its scene-file record.
#pragma once

#include <cstdint>

// colourWord is laid out like a COLORREF: red in bits 0-7, green 8-15, blue
// 16-23, bits 24-31 ignored. Each channel c becomes trunc(c / 256 * 255) in
// double precision (c - 1 for 1..255, 0 for 0), and the result is the
// retained-mode colour 0xFF'RR'GG'BB. Example: 0x000000FF -> 0xFFFE0000.
std::uint32_t meshColourFromWord(std::uint32_t colourWord);
