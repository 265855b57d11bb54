// Fuzz target: any bytes as a map file. The reader either builds a world
// or refuses the file with one "Error! " line (or one of the allocation
// messages); it never crashes and never reads or writes out of bounds. A
// world it builds must hold together: every cell and the surroundings have
// a heat capacity, and two ticks run over it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "engine/buildworld.h"
#include "game/loadmap.h"
#include "fuzzsupport.h"
#include "engine/publish.h"
#include "engine/world.h"
#include "testgame.h"

// Widest side a fuzz input may declare. A side of two thousand million is a
// valid header whose loading prints one dot per column for minutes: slow,
// not wrong, and no use to a fuzzer.
static const long MAXSIDE = 1L << 15;

static bool isspacebyte(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// True when some "xsize=" or "ysize=" token declares more than MAXSIDE.
static bool declareshuge(const std::string &text)
{
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isspacebyte(text[i]))
            i++;
        size_t start = i;
        while (i < text.size() && !isspacebyte(text[i]))
            i++;
        std::string token = text.substr(start, i - start);
        if (token.compare(0, 6, "xsize=") == 0 || token.compare(0, 6, "ysize=") == 0) {
            std::string digits;
            for (char c : token)
                digits += (c >= '0' && c <= '9') || c == '.' ? c : ' ';
            if (std::strtod(digits.c_str(), nullptr) > (double)MAXSIDE)
                return true;
        }
    }
    return false;
}

static bool refusalmessage(const std::string &line)
{
    return line.compare(0, 7, "Error! ") == 0 || line == "Couldn't allocate memory for curmap, exiting.\n" ||
           line == "Couldn't allocate memory for oldmap, exiting.\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size);
    if (declareshuge(text))
        return -1; // not added to the corpus
    bool loaded = false;
    {
        std::istringstream in(text);
        try {
            MAPFILE f;
            readmapfile(in, f);
            makemap(f, testgame.world, nullptr);
            for (const MAP_VERTEX &v : f.s_points)
                (void)v.x;
            loaded = true;
        } catch (const MAPERROR &e) {
            std::string line = e.what();
            if (!refusalmessage(line))
                std::fprintf(stderr, "unexpected refusal: %s", line.c_str());
            FUZZCHECK(refusalmessage(line));
            FUZZCHECK(!line.empty() && line.back() == '\n');
            FUZZCHECK(line.find('\n') == line.size() - 1);
        }
    }
    if (loaded) {
        FUZZCHECK(testgame.world.mapsizex >= 0 && testgame.world.mapsizey >= 0);
        FUZZCHECK(testgame.world.oldmap != testgame.world.curmap);
        FUZZCHECK(testgame.world.oldmap->heat.size() == ncells(testgame.world));
        FUZZCHECK(ncells(testgame.world) == 0 || testgame.world.outside.calperc > 0); // without cells nothing reads it
        for (size_t i = 0; i < ncells(testgame.world); i++)
            FUZZCHECK(testgame.world.materials[testgame.world.material[i]].calperc > 0);
        dophys(testgame.world, testgame.tick);
        dophys(testgame.world, testgame.tick);
    }
    resetworld(testgame.world);
    return 0;
}
