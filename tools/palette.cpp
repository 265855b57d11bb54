// Material and heat colours, and the PNG writer of the tools.
#include "palette.h"

#include <png.h>

#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

static bool namehas(const char *name, const char *word)
{
    std::string lower;
    for (const char *p = name; *p; p++)
        lower += (char)std::tolower((unsigned char)*p);
    return lower.find(word) != std::string::npos;
}

static RGB mix(RGB a, RGB b, double f)
{
    if (f <= 0)
        return a;
    if (f >= 1)
        return b;
    return RGB{(uint8_t)(a.r + (b.r - a.r) * f + 0.5), (uint8_t)(a.g + (b.g - a.g) * f + 0.5),
               (uint8_t)(a.b + (b.b - a.b) * f + 0.5)};
}

RGB materialcolour(const MATERIAL &m, double initialfuel, const char *name)
{
    static const struct {
        const char *word;
        RGB c;
    } named[] = {
        {"outside", {40, 40, 52}},  {"grass", {92, 158, 62}},  {"meadow", {92, 158, 62}},
        {"forest", {30, 98, 44}},   {"tree", {30, 98, 44}},    {"wood", {30, 98, 44}},
        {"brush", {176, 164, 82}},  {"scrub", {176, 164, 82}}, {"dry", {176, 164, 82}},
        {"rock", {118, 116, 122}},  {"stone", {118, 116, 122}}, {"wall", {118, 116, 122}},
        {"water", {46, 88, 186}},   {"lake", {46, 88, 186}},   {"river", {46, 88, 186}},
        {"sand", {206, 186, 128}},  {"earth", {130, 100, 70}},
    };
    if (name)
        for (const auto &n : named)
            if (namehas(name, n.word))
                return n.c;
    if (m.block)
        return RGB{118, 116, 122};
    if (!(initialfuel > 0))
        return m.calperc >= 4 ? RGB{46, 88, 186} : RGB{130, 100, 70};
    // Vegetation: much fuel is woodland, little is grass; the lower the
    // ignition point, the drier and yellower.
    double wood = (initialfuel - 30.0) / 60.0;
    RGB green = mix(RGB{92, 158, 62}, RGB{30, 98, 44}, wood < 0 ? 0 : wood > 1 ? 1 : wood);
    double dry = (370.0 - m.ignitionpoint) / 40.0;
    return mix(green, RGB{176, 164, 82}, dry < 0 ? 0 : dry > 1 ? 1 : dry);
}

RGB heatramp(double kelvins)
{
    static const struct {
        double k;
        RGB c;
    } stops[] = {
        {COLDLIMIT, {120, 30, 90}}, {HURTLIMIT, {215, 40, 24}}, {500, {255, 110, 0}},
        {800, {255, 210, 0}},       {1500, {255, 255, 225}},
    };
    const int n = sizeof stops / sizeof stops[0];
    if (!(kelvins > stops[0].k))
        return stops[0].c;
    for (int i = 1; i < n; i++)
        if (kelvins < stops[i].k)
            return mix(stops[i - 1].c, stops[i].c, (kelvins - stops[i - 1].k) / (stops[i].k - stops[i - 1].k));
    return stops[n - 1].c;
}

RGB cellcolour(RGB material, double kelvins, double fuel, double initialfuel, int ignitionpoint,
               unsigned phase)
{
    if (fuel > 0 && kelvins >= ignitionpoint) {
        unsigned h = phase * 2654435761u;
        h ^= h >> 15;
        return RGB{255, (uint8_t)(150 + h % 90), (uint8_t)(20 + (h >> 8) % 40)};
    }
    RGB base = material;
    if (initialfuel > 0 && fuel <= initialfuel * 0.02)
        base = RGB{62, 56, 52}; // ash
    if (!(kelvins >= COLDLIMIT))
        return base;
    return mix(base, heatramp(kelvins), (kelvins - COLDLIMIT) / 40.0 + 0.35);
}

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
