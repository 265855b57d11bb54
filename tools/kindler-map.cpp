// kindler-map: makes, checks and previews map files.
//
//   gen W H [--seed N] [--players N] [-o FILE]   a new playable map
//   check FILE                                   read it as the server does
//   png FILE OUT.png [--scale N]                 a picture of its materials
//
// `check` and `png` read the file with the server's own reader (readmap
// from kindler_core), so what they accept is exactly what the server loads.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "file.h"
#include "mapgen.h"
#include "palette.h"
#include "world.h"

static const char *prog = "kindler-map";

[[noreturn]] static void fail(const std::string &line)
{
    std::fprintf(stderr, "%s: %s\n", prog, line.c_str());
    std::exit(1);
}

static const char *usage =
    "Usage: kindler-map COMMAND [ARGS]\n"
    "Makes, checks and previews map files of the kindler server.\n"
    "\n"
    "Commands:\n"
    "  gen W H [--seed N] [--players N] [-o FILE]  generate a playable map\n"
    "  check FILE                                  read FILE as the server does\n"
    "  png FILE OUT.png [--scale N]                picture of materials and starts\n"
    "\n"
    "`kindler-map COMMAND --help` describes one command.\n";

static const char *genusage =
    "Usage: kindler-map gen W H [--seed N] [--players N] [-o FILE]\n"
    "Generates a W x H map (1 to 10000 each) with grass, forest, dry brush,\n"
    "rock (blocking) and water, a cooler outside, and N start positions\n"
    "(default 4) spread apart. The same --seed (default 1) always gives the\n"
    "same file. Writes to standard output unless -o names a file.\n";

static const char *checkusage =
    "Usage: kindler-map check FILE\n"
    "Reads FILE with the server's own map reader. On success prints the size,\n"
    "each unit type with its number of cells, and the start positions, and\n"
    "exits 0; otherwise prints the server's error line and exits 1.\n";

static const char *pngusage =
    "Usage: kindler-map png FILE OUT.png [--scale N]\n"
    "Reads FILE as the server does and writes a picture of its materials\n"
    "with the start positions marked (white squares with a dark centre).\n"
    "--scale N: pixels per cell (default: fits the map in about 600 pixels).\n";

static bool wantshelp(int argc, char **argv)
{
    for (int i = 0; i < argc; i++)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

// A whole decimal number in [lo, hi], or a failure naming `what`.
static long number(const char *text, const char *what, long lo, long hi)
{
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi)
        fail(std::string("invalid ") + what + " \"" + text + "\" (want a whole number from " +
             std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return (long)v;
}

static int cmdgen(int argc, char **argv)
{
    if (wantshelp(argc, argv)) {
        std::fputs(genusage, stdout);
        return 0;
    }
    GENOPTIONS opt;
    std::string out;
    std::vector<const char *> pos;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--seed" || a == "--players" || a == "-o") {
            if (i + 1 >= argc)
                fail("option " + a + " needs a value");
            const char *v = argv[++i];
            if (a == "--seed") {
                char *end = nullptr;
                errno = 0;
                opt.seed = std::strtoull(v, &end, 10);
                if (errno || end == v || *end || *v == '-')
                    fail(std::string("invalid --seed \"") + v + "\" (want a whole number of 0 or more)");
            } else if (a == "--players") {
                opt.players = (int)number(v, "--players", 1, 1000);
            } else {
                out = v;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            fail("unknown option " + a + " (see kindler-map gen --help)");
        } else {
            pos.push_back(argv[i]);
        }
    }
    if (pos.size() != 2)
        fail("gen needs a width and a height (see kindler-map gen --help)");
    opt.width = number(pos[0], "width", 1, 10000);
    opt.height = number(pos[1], "height", 1, 10000);
    std::string text;
    std::string err = generatemap(opt, text);
    if (!err.empty())
        fail(err);
    if (out.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0)
            fail(std::string("cannot write standard output: ") + std::strerror(errno));
        return 0;
    }
    FILE *f = std::fopen(out.c_str(), "w");
    if (!f)
        fail("cannot write " + out + ": " + std::strerror(errno));
    std::fwrite(text.data(), 1, text.size(), f);
    if (std::fclose(f) != 0)
        fail("cannot write " + out + ": " + std::strerror(errno));
    return 0;
}

// Reads `path` with the server's reader. The reader's progress lines on
// standard output are dropped; a refused file ends the program with the
// reader's own message and status 1.
static void readquietly(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        fail("cannot open " + path + ": " + std::strerror(errno));
    std::fflush(stdout);
    int saved = dup(1);
    int devnull = open("/dev/null", O_WRONLY);
    if (saved >= 0 && devnull >= 0)
        dup2(devnull, 1);
    std::string error;
    try {
        readmap(in);
    } catch (const MAPERROR &e) {
        error = e.what();
    }
    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
    }
    if (devnull >= 0)
        close(devnull);
    if (!error.empty()) {
        std::fputs(error.c_str(), stderr);
        if (error.back() != '\n')
            std::fputc('\n', stderr);
        std::exit(1);
    }
}

// Index of the unit type whose cells look like `cell`: the loader copies
// a type's properties into its cells, so the first declared type with the
// same properties is the one (types with identical properties cannot be
// told apart, and are counted as the first). -1 if none matches.
static long typeofcell(const MAPUNIT *cell)
{
    for (long i = 0; i <= numtypes; i++) {
        const UNITTYPE &t = unittypelist[i];
        if (findunittype(t.num) != i)
            continue; // a later type with a number already taken is never used
        if (cell->cocon == t.cocon && cell->calperc == t.calperc && cell->ignitionpoint == t.ignitionpoint &&
            cell->fuellevel == t.fuellevel && cell->calperf == t.calperf && cell->burnspeed == t.burnspeed &&
            cell->block == t.block && cell->totalcal == (long double)t.temp * t.calperc)
            return i;
    }
    return -1;
}

static int cmdcheck(int argc, char **argv)
{
    if (wantshelp(argc, argv)) {
        std::fputs(checkusage, stdout);
        return 0;
    }
    if (argc != 1)
        fail("check needs exactly one map file (see kindler-map check --help)");
    readquietly(argv[0]);

    std::vector<long> counts((size_t)(numtypes + 1), 0);
    long unknown = 0;
    for (long x = 0; x < mapsizex; x++)
        for (long y = 0; y < mapsizey; y++) {
            MAPUNIT cellnow = getcell(x, y);
            long t = typeofcell(&cellnow);
            if (t < 0)
                unknown++;
            else
                counts[(size_t)t]++;
        }
    std::printf("OK %s\n", argv[0]);
    std::printf("name: %s\n", mapname ? mapname : "(none)");
    std::printf("size: %ld x %ld cells\n", mapsizex, mapsizey);
    std::printf("unit types: %ld\n", numtypes + 1);
    std::printf("  %5s  %-20s %8s  %s\n", "num", "name", "cells", "properties");
    for (long i = 0; i <= numtypes; i++) {
        const UNITTYPE &t = unittypelist[i];
        std::printf("  %5d  %-20s %8ld  temp=%d calperc=%g cocon=%g ignitionpoint=%d fuellevel=%g%s%s\n",
                    t.num, t.name ? t.name : "-", counts[(size_t)i], t.temp, (double)t.calperc, (double)t.cocon,
                    t.ignitionpoint, (double)t.fuellevel, t.block ? " block" : "",
                    t.num == 0 && findunittype(0) == i ? " (outside)" : "");
    }
    if (unknown)
        std::printf("  cells of no recognisable type: %ld\n", unknown);
    std::printf("start positions: %d\n", s_pointsnum);
    for (int i = 0; i < s_pointsnum; i++) {
        long x = s_points[i].x, y = s_points[i].y;
        std::printf("  %d: %ld,%ld", i, x, y);
        if (!onmap(x, y))
            std::printf("  (off the map: the player stands outside)");
        else if (getcell(x, y).block)
            std::printf("  (on a blocking cell)");
        std::printf("\n");
    }
    if (s_pointsnum == 0)
        std::printf("  none: the server refuses every login\n");
    return 0;
}

static int cmdpng(int argc, char **argv)
{
    if (wantshelp(argc, argv)) {
        std::fputs(pngusage, stdout);
        return 0;
    }
    int scale = 0;
    std::vector<const char *> pos;
    for (int i = 0; i < argc; i++) {
        if (std::strcmp(argv[i], "--scale") == 0) {
            if (i + 1 >= argc)
                fail("option --scale needs a value");
            scale = (int)number(argv[++i], "--scale", 1, 64);
        } else if (argv[i][0] == '-' && argv[i][1]) {
            fail(std::string("unknown option ") + argv[i] + " (see kindler-map png --help)");
        } else {
            pos.push_back(argv[i]);
        }
    }
    if (pos.size() != 2)
        fail("png needs a map file and an output file (see kindler-map png --help)");
    readquietly(pos[0]);
    long big = std::max(mapsizex, mapsizey);
    if (scale == 0)
        scale = (int)std::max(1L, std::min(16L, big > 0 ? 600 / big : 1));
    if ((long long)mapsizex * scale > 30000 || (long long)mapsizey * scale > 30000)
        fail("picture too large: lower --scale");
    std::vector<RGB> colours((size_t)(numtypes + 1));
    for (long i = 0; i <= numtypes; i++) {
        const UNITTYPE &t = unittypelist[i];
        colours[(size_t)i] = materialcolour(MATERIAL{(double)t.cocon, (double)t.calperc, t.ignitionpoint,
                                                     (double)t.fuellevel, (double)t.calperf,
                                                     (double)t.burnspeed, t.block, t.name});
    }
    int w = (int)std::max(1L, mapsizex * scale), h = (int)std::max(1L, mapsizey * scale);
    PICTURE pic(w, h, RGB{0, 0, 0});
    for (long x = 0; x < mapsizex; x++)
        for (long y = 0; y < mapsizey; y++) {
            MAPUNIT cellnow = getcell(x, y);
            long t = typeofcell(&cellnow);
            pic.rect((int)(x * scale), (int)(y * scale), scale, scale, t < 0 ? RGB{255, 0, 255} : colours[(size_t)t]);
        }
    int m = std::max(3, scale * 2 + 1); // marker size, odd
    for (int i = 0; i < s_pointsnum; i++) {
        int cx = s_points[i].x * scale + scale / 2, cy = s_points[i].y * scale + scale / 2;
        pic.rect(cx - m / 2 - 1, cy - m / 2 - 1, m + 2, m + 2, RGB{0, 0, 0});
        pic.rect(cx - m / 2, cy - m / 2, m, m, RGB{255, 255, 255});
        pic.rect(cx - m / 6, cy - m / 6, std::max(1, m / 3), std::max(1, m / 3), RGB{200, 0, 0});
    }
    std::string err = writepng(pos[1], pic);
    if (!err.empty())
        fail(err);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::fputs(usage, stdout);
        return 0;
    }
    if (cmd == "gen")
        return cmdgen(argc - 2, argv + 2);
    if (cmd == "check")
        return cmdcheck(argc - 2, argv + 2);
    if (cmd == "png")
        return cmdpng(argc - 2, argv + 2);
    fail("unknown command \"" + cmd + "\" (see kindler-map --help)");
}
