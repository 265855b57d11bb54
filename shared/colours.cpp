// The game's colours.
#include "colours.h"

#include <cctype>
#include <string>

#include "burning.h"

static bool namehas(const char *name, const char *word)
{
    std::string lower;
    for (const char *p = name; *p; p++)
        lower += (char)std::tolower((unsigned char)*p);
    return lower.find(word) != std::string::npos;
}

RGB mix(RGB a, RGB b, double f)
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
    if (isburning(fuel, kelvins, ignitionpoint)) {
        unsigned h = phase * 2654435761u;
        h ^= h >> 15;
        return RGB{255, (uint8_t)(150 + h % 90), (uint8_t)(20 + (h >> 8) % 40)};
    }
    RGB base = material;
    if (isburnt(fuel, initialfuel))
        base = ASHCOLOUR;
    if (!(kelvins >= COLDLIMIT))
        return base;
    return mix(base, heatramp(kelvins), heatweight(kelvins));
}

double heatweight(double kelvins) { return (kelvins - COLDLIMIT) / 40.0 + 0.35; }
