// The pictures of the tools: pixels, a 3x5 font, and the PNG writer.
#include "palette.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

PICTURE::PICTURE(int width, int height, RGB fill) : w(width), h(height), px((size_t)width * height * 3)
{
    for (size_t i = 0; i < px.size(); i += 3) {
        px[i] = fill.r;
        px[i + 1] = fill.g;
        px[i + 2] = fill.b;
    }
}

void PICTURE::set(int x, int y, RGB c)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return;
    uint8_t *p = &px[((size_t)y * w + x) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
}

RGB PICTURE::get(int x, int y) const
{
    const uint8_t *p = &px[((size_t)y * w + x) * 3];
    return RGB{p[0], p[1], p[2]};
}

void PICTURE::rect(int x, int y, int rw, int rh, RGB c)
{
    for (int j = y; j < y + rh; j++)
        for (int i = x; i < x + rw; i++)
            set(i, j, c);
}

// 3x5 glyphs, five rows of three dots each, top row first.
static const char *glyph(char c)
{
    static const struct {
        char c;
        const char *rows;
    } font[] = {
        {'0', "111101101101111"}, {'1', "010110010010111"}, {'2', "111001111100111"},
        {'3', "111001111001111"}, {'4', "101101111001001"}, {'5', "111100111001111"},
        {'6', "111100111101111"}, {'7', "111001001001001"}, {'8', "111101111101111"},
        {'9', "111101111001111"}, {'A', "010101111101101"}, {'B', "110101110101110"},
        {'C', "011100100100011"}, {'D', "110101101101110"}, {'E', "111100110100111"},
        {'F', "111100110100100"}, {'G', "011100101101011"}, {'H', "101101111101101"},
        {'I', "111010010010111"}, {'J', "001001001101010"}, {'K', "101101110101101"},
        {'L', "100100100100111"}, {'M', "101111111101101"}, {'N', "110101101101101"},
        {'O', "010101101101010"}, {'P', "110101110100100"}, {'Q', "010101101110011"},
        {'R', "110101110101101"}, {'S', "011100010001110"}, {'T', "111010010010010"},
        {'U', "101101101101111"}, {'V', "101101101101010"}, {'W', "101101111111101"},
        {'X', "101101010101101"}, {'Y', "101101010010010"}, {'Z', "111001010100111"},
        {'-', "000000111000000"}, {'.', "000000000000010"}, {':', "000010000010000"},
        {'>', "100010001010100"}, {'<', "001010100010001"}, {'/', "001001010100100"},
        {'#', "101111101111101"}, {'+', "000010111010000"},
    };
    c = (char)std::toupper((unsigned char)c);
    for (const auto &g : font)
        if (g.c == c)
            return g.rows;
    return nullptr;
}

int textwidth(const std::string &s, int scale)
{
    return s.empty() ? 0 : (int)(s.size() * 4 - 1) * scale;
}

void PICTURE::text(int x, int y, const std::string &s, RGB c, int scale)
{
    for (size_t i = 0; i < s.size(); i++) {
        const char *rows = glyph(s[i]);
        if (!rows)
            continue;
        for (int r = 0; r < 5; r++)
            for (int d = 0; d < 3; d++)
                if (rows[r * 3 + d] == '1')
                    rect(x + ((int)i * 4 + d) * scale, y + r * scale, scale, scale, c);
    }
}

std::string writepng(const std::string &path, const PICTURE &pic)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return "cannot write " + path + ": " + std::strerror(errno);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        return "cannot set up libpng";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return "libpng failed while writing " + path;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, pic.w, pic.h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < pic.h; y++)
        png_write_row(png, (png_const_bytep)&pic.px[(size_t)y * pic.w * 3]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0)
        return "cannot write " + path + ": " + std::strerror(errno);
    return "";
}
