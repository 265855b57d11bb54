// Terrain and start positions of generated maps.
#include "mapgen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// splitmix64: the generator's only source of numbers.
static uint64_t mix64(uint64_t z)
{
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

struct PRNG {
    uint64_t state;
    uint64_t next() { return mix64(state += 0x9e3779b97f4a7c15ull); }
    // A whole number in [0, n).
    uint64_t below(uint64_t n) { return next() % n; }
};

// A value in [0, 1) fixed for lattice point (ix, iy) of layer `salt`.
static double lattice(uint64_t base, uint64_t salt, long ix, long iy)
{
    uint64_t h = mix64(base ^ mix64(salt * 0x100000001b3ull ^ mix64((uint64_t)ix * 0x9e3779b1ull ^ (uint64_t)iy)));
    return (double)(h >> 11) * (1.0 / 9007199254740992.0);
}

static long floorlong(double v)
{
    long i = (long)v;
    return (double)i > v ? i - 1 : i;
}

// Smoothly interpolated lattice values: one octave of value noise.
static double valuenoise(uint64_t base, uint64_t salt, double x, double y)
{
    long ix = floorlong(x), iy = floorlong(y);
    double tx = x - (double)ix, ty = y - (double)iy;
    tx = tx * tx * (3.0 - 2.0 * tx);
    ty = ty * ty * (3.0 - 2.0 * ty);
    double a = lattice(base, salt, ix, iy), b = lattice(base, salt, ix + 1, iy);
    double c = lattice(base, salt, ix, iy + 1), d = lattice(base, salt, ix + 1, iy + 1);
    double top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

// Five octaves, each twice as fine and half as strong.
static double fractal(uint64_t base, uint64_t salt, double x, double y, double scale)
{
    double sum = 0, amp = 1, total = 0;
    for (int o = 0; o < 5; o++) {
        sum += amp * valuenoise(base, salt * 16 + (uint64_t)o, x / scale, y / scale);
        total += amp;
        amp *= 0.5;
        scale *= 0.5;
    }
    return sum / total;
}

// The value below which a fraction `q` of `v` lies.
static double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    size_t k = std::min(v.size() - 1, (size_t)((double)v.size() * q));
    std::nth_element(v.begin(), v.begin() + (long)k, v.end());
    return v[k];
}

std::string layoutmap(const GENOPTIONS &opt, GENMAP &map)
{
    long w = opt.width, h = opt.height;
    map.width = w;
    map.height = h;
    map.cells.assign((size_t)(w * h), GEN_GRASS);
    map.starts.clear();
    char name[32];
    std::snprintf(name, sizeof name, "gen-%llu", opt.seed);
    if (std::string(name).size() > 16)
        std::snprintf(name, sizeof name, "gen-%08llx", (unsigned long long)(mix64(opt.seed) & 0xffffffffull));
    map.name = opt.name.empty() ? name : opt.name;

    uint64_t base = mix64(opt.seed);
    double scale = std::max(6.0, (double)std::min(w, h) / 2.5);
    std::vector<double> height((size_t)(w * h)), moisture((size_t)(w * h)), ridge((size_t)(w * h));
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            height[(size_t)(y * w + x)] = fractal(base, 1, (double)x, (double)y, scale);
            moisture[(size_t)(y * w + x)] = fractal(base, 2, (double)x, (double)y, scale * 0.8);
            // Near the middle value of a third field: thin winding lines.
            ridge[(size_t)(y * w + x)] = 1 - 2 * std::abs(fractal(base, 3, (double)x, (double)y, scale) - 0.5);
        }
    // Lowest ground holds water, the highest is rock, and so are the
    // ridges; on the rest the wettest part grows forest and the driest dry
    // brush.
    auto share = [](int percent) { return percent / 100.0; };
    double waterlevel = quantile(height, share(opt.water)), rocklevel = quantile(height, 1 - share(opt.rock));
    double ridgelevel = quantile(ridge, 1 - share(opt.ridges));
    double forestlevel = quantile(moisture, 1 - share(opt.forest)), brushlevel = quantile(moisture, share(opt.brush));
    for (size_t i = 0; i < map.cells.size(); i++) {
        int t = GEN_GRASS;
        if (opt.water > 0 && height[i] < waterlevel)
            t = GEN_WATER;
        else if ((opt.rock > 0 && height[i] > rocklevel) || (opt.ridges > 0 && ridge[i] > ridgelevel))
            t = GEN_ROCK;
        else if (opt.forest > 0 && moisture[i] > forestlevel)
            t = GEN_FOREST;
        else if (opt.brush > 0 && moisture[i] < brushlevel)
            t = GEN_BRUSH;
        map.cells[i] = t;
    }

    // Start positions: on grass (else any ground that does not block),
    // away from the edge; the first at random, each next one as far as
    // possible from those already chosen.
    long margin = std::min(w, h) >= 12 ? std::min(w, h) / 10 : 0;
    std::vector<long> candidates;
    for (int pass = 0; pass < 3 && candidates.empty(); pass++)
        for (long y = 0; y < h; y++)
            for (long x = 0; x < w; x++) {
                int t = map.cells[(size_t)(y * w + x)];
                bool inner = x >= margin && x < w - margin && y >= margin && y < h - margin;
                if ((pass == 0 && t == GEN_GRASS && inner) || (pass == 1 && t != GEN_ROCK && inner) ||
                    (pass == 2 && t != GEN_ROCK))
                    candidates.push_back(y * w + x);
            }
    if (candidates.empty())
        return "no cell of the map can hold a start position (all rock)";
    PRNG prng{base ^ 0x5741525453ull};
    std::vector<long> mindist(candidates.size(), -1);
    long pick = candidates[prng.below(candidates.size())];
    for (int p = 0; p < opt.players; p++) {
        map.starts.push_back({pick % w, pick / w});
        long best = -1;
        for (size_t i = 0; i < candidates.size(); i++) {
            long dx = candidates[i] % w - pick % w, dy = candidates[i] / w - pick / w;
            long d = dx * dx + dy * dy;
            if (mindist[i] < 0 || d < mindist[i])
                mindist[i] = d;
            if (best < 0 || mindist[i] > mindist[(size_t)best])
                best = (long)i;
        }
        pick = candidates[(size_t)best];
    }
    return "";
}

std::string maptext(const GENMAP &map)
{
    std::string t;
    t += "<kindler version=\"0.2\">\n<unittypes>\n";
    // The materials of maps/valley.map, tuned by hand for a playable pace:
    // two fires light grass, its neighbours catch within about ten seconds,
    // dry brush burns faster and forest slower (it takes more heat to
    // light), while water and rock (blocking) take heat without burning, so
    // a lake or a ridge a few cells wide stops a fire. Every type has its
    // own properties, so a cell's type can be told from its properties alone.
    t += "<type name=outside num=0>\n"
         "  temp=275 cocon=0.2 calperc=1 ignitionpoint=9999 fuellevel=0 burnspeed=0 calperf=0\n</type>\n";
    t += "<type name=water num=1>\n"
         "  temp=283 cocon=0.5 calperc=10 ignitionpoint=9999 fuellevel=0 burnspeed=0 calperf=0\n</type>\n";
    t += "<type name=rock num=2>\n"
         "  temp=290 cocon=0.1 calperc=4 ignitionpoint=9999 fuellevel=0 burnspeed=0 calperf=0 block\n</type>\n";
    t += "<type name=grass num=3>\n"
         "  temp=290 cocon=1 calperc=2 ignitionpoint=350 fuellevel=25 burnspeed=2.5 calperf=160\n</type>\n";
    t += "<type name=brush num=4>\n"
         "  temp=295 cocon=1.1 calperc=1.5 ignitionpoint=330 fuellevel=15 burnspeed=3 calperf=150\n</type>\n";
    t += "<type name=forest num=5>\n"
         "  temp=288 cocon=0.9 calperc=3 ignitionpoint=390 fuellevel=90 burnspeed=1.5 calperf=220\n</type>\n";
    t += "</unittypes>\n";
    t += "<map name=\"" + map.name + "\" xsize=" + std::to_string(map.width) + " ysize=" +
         std::to_string(map.height) + ">\n";
    for (long y = 0; y < map.height; y++) {
        for (long x = 0; x < map.width; x++) {
            t += (char)('0' + map.cells[(size_t)(y * map.width + x)]);
            t += ' ';
        }
        t += "<r>\n";
    }
    t += "</map>\n<start>\n";
    for (const auto &s : map.starts)
        t += "  " + std::to_string(s.first) + "," + std::to_string(s.second) + "\n";
    t += "</start>\n</kindler>\n";
    return t;
}

std::string generatemap(const GENOPTIONS &opt, std::string &text)
{
    GENMAP map;
    std::string err = layoutmap(opt, map);
    if (err.empty())
        text = maptext(map);
    return err;
}
