// kindler-map: makes, checks and previews map files.
//
//   gen W H [--seed N] [--players N] [--name NAME] [--water P] [--rock P]
//       [--ridges P] [--forest P] [--brush P] [-o FILE]   a new playable map
//   check FILE                                   read it as the server does
//   png FILE OUT.png [--scale N]                 a picture of its materials
//
// `check` and `png` read the file with the server's own map reader and make
// its checks (readmapfile and checkmapfile from kindler_core), the ones the
// server makes when it loads a map, so what they accept the server loads.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/mapfile.h"
#include "mapgen.h"
#include "palette.h"
#include "arguments.h"
#include "material.h"

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
    "  gen W H [--seed N] [--players N] [-o FILE]  generate a playable map (more: gen --help)\n"
    "  check FILE                                  read FILE as the server does\n"
    "  png FILE OUT.png [--scale N]                picture of materials and starts\n"
    "\n"
    "`kindler-map COMMAND --help` describes one command.\n";

static const char *genusage =
    "Usage: kindler-map gen W H [--seed N] [--players N] [--name NAME] [--water P]\n"
    "         [--rock P] [--ridges P] [--forest P] [--brush P] [-o FILE]\n"
    "Generates a W x H map (1 to 10000 each) with grass, forest, dry brush,\n"
    "rock (blocking) and water, a cooler outside, and N start positions\n"
    "(default 4) spread apart. The same --seed (default 1) always gives the\n"
    "same file. Writes to standard output unless -o names a file.\n"
    "--name NAME: the map's name (default gen-SEED).\n"
    "The terrain, in percent of the cells (0 to 100): --water P (default 9) on\n"
    "the lowest ground, --rock P (8) on the highest, --ridges P (0) lines of\n"
    "rock across the map; of the rest --forest P (36) where it is wettest and\n"
    "--brush P (22) where it is driest; grass elsewhere.\n";

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
        int *terrain = a == "--water"    ? &opt.water
                       : a == "--rock"   ? &opt.rock
                       : a == "--ridges" ? &opt.ridges
                       : a == "--forest" ? &opt.forest
                       : a == "--brush"  ? &opt.brush
                                         : nullptr;
        if (terrain || a == "--name") {
            const char *v = optionvalue(argc, argv, i, fail);
            if (terrain)
                *terrain = (int)wholenumber(v, a.c_str(), 0, 100, fail);
            else if (!*v || std::strlen(v) > 16 || std::strpbrk(v, "\" <>\t\n"))
                fail(std::string("invalid --name \"") + v + "\" (want 1 to 16 characters, no space, quote or <>)");
            else
                opt.name = v;
        } else if (a == "--seed" || a == "--players" || a == "-o") {
            const char *v = optionvalue(argc, argv, i, fail);
            if (a == "--seed") {
                char *end = nullptr;
                errno = 0;
                opt.seed = std::strtoull(v, &end, 10);
                if (errno || end == v || *end || *v == '-')
                    fail(std::string("invalid --seed \"") + v + "\" (want a whole number of 0 or more)");
            } else if (a == "--players") {
                opt.players = (int)wholenumber(v, "--players", 1, 1000, fail);
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
    opt.width = wholenumber(pos[0], "width", 1, 10000, fail);
    opt.height = wholenumber(pos[1], "height", 1, 10000, fail);
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

// Reads `path` with the server's map reader and makes the reader's checks
// of what it says. A refused file ends the program with the server's own
// message and status 1.
static void readchecked(const std::string &path, MAPFILE &f)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        fail("cannot open " + path + ": " + std::strerror(errno));
    try {
        readmapfile(in, f);
        checkmapfile(f);
    } catch (const MAPERROR &e) {
        std::string error = e.what();
        std::fputs(error.c_str(), stderr);
        if (error.empty() || error.back() != '\n')
            std::fputc('\n', stderr);
        std::exit(1);
    }
}

// The unit type (index into f.unittypelist) of the cell at (x, y); the
// file has been checked, so every cell has one.
static long typeat(const MAPFILE &f, long x, long y)
{
    return findunittype(f, f.tmpmap[(size_t)x * (size_t)f.ysize + (size_t)y]);
}

static bool onmapfile(const MAPFILE &f, long x, long y) { return x >= 0 && x < f.xsize && y >= 0 && y < f.ysize; }

static int cmdcheck(int argc, char **argv)
{
    if (wantshelp(argc, argv)) {
        std::fputs(checkusage, stdout);
        return 0;
    }
    if (argc != 1)
        fail("check needs exactly one map file (see kindler-map check --help)");
    MAPFILE f;
    readchecked(argv[0], f);

    std::vector<long> counts(f.unittypelist.size(), 0);
    for (long x = 0; x < f.xsize; x++)
        for (long y = 0; y < f.ysize; y++)
            counts[(size_t)typeat(f, x, y)]++;
    std::printf("OK %s\n", argv[0]);
    std::printf("name: %s\n", f.hasmapname ? f.mapname.c_str() : "(none)");
    std::printf("size: %ld x %ld cells\n", f.xsize, f.ysize);
    std::printf("unit types: %zu\n", f.unittypelist.size());
    std::printf("  %5s  %-20s %8s  %s\n", "num", "name", "cells", "properties");
    for (size_t i = 0; i < f.unittypelist.size(); i++) {
        const UNITTYPE &t = f.unittypelist[i];
        std::printf("  %5d  %-20s %8ld  temp=%d calperc=%g cocon=%g ignitionpoint=%d fuellevel=%g%s%s\n",
                    t.num, t.named ? t.name.c_str() : "-", counts[i], t.temp, (double)t.calperc, (double)t.cocon,
                    t.ignitionpoint, (double)t.fuellevel, t.block ? " block" : "",
                    t.num == 0 && findunittype(f, 0) == (long)i ? " (outside)" : "");
    }
    std::printf("start positions: %zu\n", f.s_points.size());
    for (size_t i = 0; i < f.s_points.size(); i++) {
        long x = f.s_points[i].x, y = f.s_points[i].y;
        std::printf("  %zu: %ld,%ld", i, x, y);
        if (!onmapfile(f, x, y))
            std::printf("  (off the map: the player stands outside)");
        else if (f.unittypelist[(size_t)typeat(f, x, y)].block)
            std::printf("  (on a blocking cell)");
        std::printf("\n");
    }
    if (f.s_points.empty())
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
            scale = (int)wholenumber(optionvalue(argc, argv, i, fail), "--scale", 1, 64, fail);
        } else if (argv[i][0] == '-' && argv[i][1]) {
            fail(std::string("unknown option ") + argv[i] + " (see kindler-map png --help)");
        } else {
            pos.push_back(argv[i]);
        }
    }
    if (pos.size() != 2)
        fail("png needs a map file and an output file (see kindler-map png --help)");
    MAPFILE f;
    readchecked(pos[0], f);
    long big = std::max(f.xsize, f.ysize);
    if (scale == 0)
        scale = (int)std::max(1L, std::min(16L, big > 0 ? 600 / big : 1));
    if ((long long)f.xsize * scale > 30000 || (long long)f.ysize * scale > 30000)
        fail("picture too large: lower --scale");
    std::vector<RGB> colours(f.unittypelist.size());
    for (size_t i = 0; i < f.unittypelist.size(); i++) {
        const UNITTYPE &t = f.unittypelist[i];
        const MATERIAL m = {t.cocon, t.calperc, t.calperf, t.burnspeed, t.ignitionpoint, t.block};
        colours[i] = materialcolour(m, (double)t.fuellevel, t.named ? t.name.c_str() : nullptr);
    }
    int w = (int)std::max(1L, f.xsize * scale), h = (int)std::max(1L, f.ysize * scale);
    PICTURE pic(w, h, RGB{0, 0, 0});
    for (long x = 0; x < f.xsize; x++)
        for (long y = 0; y < f.ysize; y++)
            pic.rect((int)(x * scale), (int)(y * scale), scale, scale, colours[(size_t)typeat(f, x, y)]);
    int m = std::max(3, scale * 2 + 1); // marker size, odd
    for (const MAP_VERTEX &p : f.s_points) {
        int cx = p.x * scale + scale / 2, cy = p.y * scale + scale / 2;
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
