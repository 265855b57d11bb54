// Pictures of the map for the tools: RGB pixels, a 3x5 pixel font for
// legends, and a small PNG writer. The colours are the game's (colours.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colours.h"

// An RGB picture, row-major, three bytes per pixel.
struct PICTURE {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    PICTURE(int width, int height, RGB fill);
    void set(int x, int y, RGB c);
    RGB get(int x, int y) const;
    void rect(int x, int y, int w, int h, RGB c);
    // Text in the 3x5 font (digits, capitals, a few signs), `scale` pixels
    // per font dot; unknown characters leave a gap.
    void text(int x, int y, const std::string &s, RGB c, int scale = 1);
};
// Width in pixels of `s` drawn with PICTURE::text at `scale`.
int textwidth(const std::string &s, int scale = 1);

// Writes `pic` as an 8-bit RGB PNG. Returns an empty string on success,
// else one line saying what failed.
std::string writepng(const std::string &path, const PICTURE &pic);
