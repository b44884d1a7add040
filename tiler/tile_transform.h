#pragma once

// The block tiling transform: copies the top-left block of a picture to a grid
// of positions 8 pixels apart over the whole picture, in place.

#include "platform/forms/graphics.h"

// Block size a is 2, 4 or 8 (anything else throws std::invalid_argument).
// Afterwards every pixel (x, y) with x mod 8 <= a and y mod 8 <= a holds the
// colour that pixel (x mod 8, y mod 8) had before; every other pixel keeps its
// colour. This is the outcome of copying the (a+1) x (a+1) source block pixel
// by pixel to the tiles (8c, 8d), c = 0..W div a, d = 0..H div a, column by
// column, each read seeing every write before it; the copy is done here row by
// row, writing only the pixels that change and nothing outside the picture.
void TileTopLeftBlock(TBitmap& picture, int a);
