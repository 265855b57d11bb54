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

#include "loadmap.h"
#include "fuzzsupport.h"
#include "publish.h"
#include "world.h"

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
            makemap(f, serverworld, nullptr);
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
        FUZZCHECK(serverworld.mapsizex >= 0 && serverworld.mapsizey >= 0);
        FUZZCHECK(serverworld.oldmap != serverworld.curmap);
        FUZZCHECK(serverworld.oldmap->heat.size() == ncells(serverworld));
        FUZZCHECK(ncells(serverworld) == 0 || serverworld.outside.calperc > 0); // without cells nothing reads it
        for (size_t i = 0; i < ncells(serverworld); i++)
            FUZZCHECK(serverworld.materials[serverworld.material[i]].calperc > 0);
        dophys(serverworld);
        dophys(serverworld);
    }
    resetworld(serverworld);
    return 0;
}
