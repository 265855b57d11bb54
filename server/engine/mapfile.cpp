// Map file reading: tokens, the digit filter, unit types, the map block and
// the start positions.
#include "engine/mapfile.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

void maperror(const char *fmt, ...)
{
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    throw MAPERROR(line);
}

static bool prefixed(const char *token, const char *prefix)
{
    return std::strncmp(token, prefix, std::strlen(prefix)) == 0;
}

static bool iswhite(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads the next whitespace-delimited token into tmpstring (at most
// MAXTOKEN characters and a NUL). Returns false at the end of the input or
// for an empty token (one that begins with a NUL byte). A longer token
// refuses the file.
static bool readtoken(std::istream &in, char *tmpstring)
{
    int c;
    do {
        c = in.get();
    } while (iswhite(c));
    size_t len = 0;
    while (c != EOF && !iswhite(c)) {
        if (len == MAXTOKEN) {
            tmpstring[MAXTOKEN] = '\0';
            for (size_t i = 0; i < MAXTOKEN; i++)
                if (tmpstring[i] == '\0')
                    tmpstring[i] = '?';
            maperror("Error! Token longer than %d characters: \"%s...\"\n", MAXTOKEN, tmpstring);
        }
        tmpstring[len++] = (char)c;
        c = in.get();
    }
    tmpstring[len] = '\0';
    return tmpstring[0] != '\0';
}

char *stripndec(char *string, char replace)
{
    for (char *p = string; *p; p++)
        if (!((*p >= '0' && *p <= '9') || *p == '.'))
            *p = replace;
    return string;
}

static long double realvalue(char *token)
{
    return (long double)atof(stripndec(token, ' '));
}

// Numbers in the file are 32-bit: values beyond the range saturate, as a
// 32-bit strtol does.
static int int32of(const char *text)
{
    long v = strtol(text, nullptr, 10);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int)v;
}

static int intvalue(char *token)
{
    return int32of(stripndec(token, ' '));
}

namespace {

// The numbers of a unit type's body: each after its prefix, a whole
// number or a real one.
struct TYPEFIELD {
    const char *prefix;
    int UNITTYPE::*whole;
    long double UNITTYPE::*real;
};
const TYPEFIELD TYPEFIELDS[] = {
    {"temp=", &UNITTYPE::temp, nullptr},           {"cocon=", nullptr, &UNITTYPE::cocon},
    {"calperc=", nullptr, &UNITTYPE::calperc},     {"ignitionpoint=", &UNITTYPE::ignitionpoint, nullptr},
    {"fuellevel=", nullptr, &UNITTYPE::fuellevel}, {"burnspeed=", nullptr, &UNITTYPE::burnspeed},
    {"calperf=", nullptr, &UNITTYPE::calperf},
};

} // namespace

int decodetype(char *tmpstring, UNITTYPE *tmptype)
{
    for (const TYPEFIELD &t : TYPEFIELDS)
        if (prefixed(tmpstring, t.prefix)) {
            if (t.whole)
                tmptype->*t.whole = intvalue(tmpstring);
            else
                tmptype->*t.real = realvalue(tmpstring);
            return 1;
        }
    if (prefixed(tmpstring, "block"))
        tmptype->block = 1;
    else if (std::strcmp(tmpstring, "</type>") == 0)
        return 0;
    return 1;
}

// Reads the map block whose first token is already in tmpstring, up to and
// including "</map>" or the end of the input. A newer block replaces an
// older one. Every row must hold exactly xsize values and there must be
// ysize rows (the "<r>" after the last may be left out).
static void decodemap(std::istream &in, char *tmpstring, MAPFILE &f)
{
    const long xsize = f.xsize, ysize = f.ysize;
    // Pages of the block are touched only as its values arrive: a header
    // that promises more cells than the file gives costs no memory.
    f.tmpmap.reset();
    size_t n = (size_t)xsize * (size_t)ysize;
    f.tmpmap.reset(n <= SIZE_MAX / sizeof(int) ? new (std::nothrow) int[n ? n : 1] : nullptr);
    if (!f.tmpmap)
        maperror("Error! Couldn't allocate tmpmap.\n");
    f.blockx = xsize;
    f.blocky = ysize;

    long x = 0, y = 0;
    bool more = true;
    while (more) {
        if (std::strcmp(tmpstring, "</map>") == 0)
            break;
        if (std::strcmp(tmpstring, "<r>") == 0) {
            if (y >= ysize)
                maperror("Error! Map block has more than %ld rows: extra \"<r>\" after row %ld.\n", ysize, y - 1);
            if (x != xsize)
                maperror("Error! Map row %ld has %ld values but xsize is %ld.\n", y, x, xsize);
            y++;
            x = 0;
        } else {
            if (y >= ysize)
                maperror("Error! Map block has more than %ld rows: value at row %ld, column %ld.\n", ysize, y, x);
            if (x >= xsize)
                maperror("Error! Map row %ld has more than %ld values: value at column %ld.\n", y, xsize, x);
            f.tmpmap[(size_t)x * (size_t)ysize + (size_t)y] = int32of(tmpstring);
            x++;
        }
        more = readtoken(in, tmpstring);
    }
    bool complete = (y == ysize && x == 0) || (y == ysize - 1 && x == xsize);
    if (!complete)
        maperror("Error! Map block ends at row %ld, column %ld, before all %ld x %ld cells were given.\n",
                 y, x, xsize, ysize);
}

long findunittype(const MAPFILE &f, int num)
{
    for (size_t i = 0; i < f.unittypelist.size(); i++)
        if (f.unittypelist[i].num == num)
            return (long)i;
    return -1;
}

long celltypeof(const MAPFILE &f, size_t index)
{
    long i = findunittype(f, f.tmpmap[index]);
    if (i == -1)
        maperror("Error! Invalid unittype in map! unittype = %d\n", f.tmpmap[index]);
    return i;
}

void checktypes(const MAPFILE &f, long nocapacity)
{
    long i = findunittype(f, 0);
    if (i == -1)
        maperror("Error! No outside type defined in map. Quiting.\n");
    if (nocapacity >= 0)
        maperror("Error! Unit type %d has calperc 0: its cells would have no temperature.\n",
                 f.unittypelist[(size_t)nocapacity].num);
    // Without cells nothing ever takes the surroundings' temperature.
    if (f.xsize > 0 && f.ysize > 0 && !(f.unittypelist[(size_t)i].calperc > 0))
        maperror("Error! Unit type 0 (outside) has calperc 0: the surroundings would have no temperature.\n");
}

void checkmapfile(const MAPFILE &f)
{
    long nocapacity = -1;
    const size_t n = (size_t)f.xsize * (size_t)f.ysize;
    for (size_t index = 0; index < n; index++) {
        long i = celltypeof(f, index);
        if (!(f.unittypelist[(size_t)i].calperc > 0) && nocapacity < 0)
            nocapacity = i;
    }
    checktypes(f, nocapacity);
}

// One start position token: x, any one character, y. False when the token
// is not a position (it ends the section).
static bool startposition(const char *t, MAPFILE &f)
{
    long tmpx, tmpy;
    if (std::sscanf(t, "%ld%*c%ld", &tmpx, &tmpy) != 2)
        return false;
    MAP_VERTEX v;
    v.x = (int32_t)(tmpx > INT32_MAX ? INT32_MAX : tmpx < INT32_MIN ? INT32_MIN : tmpx);
    v.y = (int32_t)(tmpy > INT32_MAX ? INT32_MAX : tmpy < INT32_MIN ? INT32_MIN : tmpy);
    f.s_points.push_back(v);
    return true;
}

// The reader's five state variables: where in the file the next token is.
struct READSTATE {
    int kindler = 0;   // 2 after "<kindler", 1 inside the root element
    int unittypes = 0; // 1 inside the unit-type section
    int map = 0;       // 2 after "<map", 3 after its name, 4 after xsize, 1 in the block
    int type = 0;      // 2 in a type's header, 1 in its body
    int start = 0;     // 1 inside the start section
};

// Offers one token to the rules in their order and carries out the first
// that applies.
static void readtokenrule(std::istream &in, char *tmpstring, READSTATE &s, MAPFILE &f)
{
    const char *t = tmpstring;
    if (std::strcmp(t, "<kindler") == 0) {
        s.kindler = 2;
    } else if (prefixed(t, "version=\"") && s.kindler == 2) {
        float version = (float)atof(stripndec(tmpstring, ' '));
        s.kindler = 1;
        if (version != fileversion)
            maperror("Error! File is version %f but we want %f.\n", (double)version, (double)fileversion);
    } else if (std::strcmp(t, "</kindler>") == 0) {
        s.kindler = 0;
    } else if (s.kindler != 1) {
        // outside the root element
    } else if (std::strcmp(t, "<unittypes>") == 0) {
        s.unittypes = 1;
    } else if (std::strcmp(t, "</unittypes>") == 0) {
        s.unittypes = 0;
    } else if (std::strcmp(t, "<start>") == 0) {
        s.start = 1;
    } else if (std::strcmp(t, "</start>") == 0) {
        s.start = 0;
    } else if (std::strcmp(t, "<map") == 0) {
        s.map = 2;
    } else if (std::strcmp(t, "</map>") == 0) {
        s.map = 0;
    } else if (s.map == 2 && prefixed(t, "name=\"")) {
        f.mapname = t + 6;
        f.hasmapname = true;
        s.map = 3;
    } else if (s.map == 3 && prefixed(t, "xsize=")) {
        f.xsize = intvalue(tmpstring);
        s.map = 4;
    } else if (s.map == 4 && prefixed(t, "ysize=")) {
        f.ysize = intvalue(tmpstring);
        s.map = 1;
    } else if (!(s.unittypes == 1 || s.map == 2 || s.map == 1)) {
        // neither in the unit-type section nor in a map element
    } else if (std::strcmp(t, "<type") == 0) {
        f.unittypelist.push_back(UNITTYPE{});
        s.type = 2;
    } else if (std::strcmp(t, "</type>") == 0) {
        s.type = 0;
    } else if (s.type == 2) {
        if (prefixed(t, "name=")) {
            f.unittypelist.back().name = t + 5;
            f.unittypelist.back().named = true;
        } else if (prefixed(t, "num=")) {
            f.unittypelist.back().num = intvalue(tmpstring);
            s.type = 1;
        }
    } else if (s.map == 1 && s.type == 0 && s.start == 0) {
        decodemap(in, tmpstring, f);
    } else if (s.map == 0 && s.type == 1 && s.start == 0) {
        if (decodetype(tmpstring, &f.unittypelist.back()) == 0)
            s.type = 0;
    } else if (s.start == 1 && s.type == 0) {
        if (!startposition(t, f))
            s.start = 0;
    }
}

void readmapfile(std::istream &in, MAPFILE &f)
{
    char tmpstring[MAXTOKEN + 1];
    READSTATE s;
    try {
        while (readtoken(in, tmpstring))
            readtokenrule(in, tmpstring, s, f);
    } catch (const std::bad_alloc &) {
        maperror("Error! Out of memory while reading the map file.\n");
    }
    // A later header without a block of its own leaves its cells unset too.
    if (f.xsize > 0 && f.ysize > 0 && (f.blockx != f.xsize || f.blocky != f.ysize))
        maperror("Error! The map header declares %ld x %ld cells but the file has no map block.\n", f.xsize,
                 f.ysize);
}
