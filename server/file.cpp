// Map file reading and world construction.
#include "file.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <vector>

#include "phys.h"
#include "grid.h"
#include "version.h"

UNITTYPE *unittypelist = nullptr;
long numtypes = -1;
char *mapname = nullptr;
MAP_VERTEX *s_points = nullptr;
int s_pointsnum = 0;

static long xsize = 0;          // width from the map header
static long ysize = 0;          // height from the map header
static int *tmpmap = nullptr;   // cell values, column x row y at x * ysize + y
static long tmpmapx, tmpmapy;   // the size tmpmap was read for

[[noreturn]] static void maperror(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

static void maperror(const char *fmt, ...)
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

static char *copytext(const char *text, const char *what)
{
    char *copy = strdup(text);
    if (!copy)
        maperror("Error! Couldn't allocate %s.\n", what);
    return copy;
}

// Reads the next whitespace-delimited token into tmpstring (at most
// MAXTOKEN characters and a NUL). Returns false at the end of the input or
// for an empty token (one that begins with a NUL byte). A longer token
// refuses the file.
static bool readtoken(std::istream &in, char *tmpstring)
{
    int c;
    do {
        c = in.get();
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r');
    size_t len = 0;
    while (c != EOF && !(c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r')) {
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


int decodetype(char *tmpstring, UNITTYPE *tmptype)
{
    if (prefixed(tmpstring, "temp="))
        tmptype->temp = intvalue(tmpstring);
    else if (prefixed(tmpstring, "cocon="))
        tmptype->cocon = realvalue(tmpstring);
    else if (prefixed(tmpstring, "calperc="))
        tmptype->calperc = realvalue(tmpstring);
    else if (prefixed(tmpstring, "ignitionpoint="))
        tmptype->ignitionpoint = intvalue(tmpstring);
    else if (prefixed(tmpstring, "fuellevel="))
        tmptype->fuellevel = realvalue(tmpstring);
    else if (prefixed(tmpstring, "burnspeed="))
        tmptype->burnspeed = realvalue(tmpstring);
    else if (prefixed(tmpstring, "calperf="))
        tmptype->calperf = realvalue(tmpstring);
    else if (prefixed(tmpstring, "block"))
        tmptype->block = 1;
    else if (std::strcmp(tmpstring, "</type>") == 0)
        return 0;
    return 1;
}

// Reads the map block whose first token is already in tmpstring, up to and
// including "</map>" or the end of the input. A newer block replaces an
// older one. Every row must hold exactly xsize values and there must be
// ysize rows (the "<r>" after the last may be left out).
static void decodemap(std::istream &in, char *tmpstring)
{
    std::free(tmpmap);
    tmpmap = nullptr;
    size_t n = (size_t)xsize * (size_t)ysize;
    tmpmap = (int *)std::malloc(n ? n * sizeof(int) : 1);
    if (!tmpmap)
        maperror("Error! Couldn't allocate tmpmap.\n");
    tmpmapx = xsize;
    tmpmapy = ysize;

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
            tmpmap[(size_t)x * (size_t)ysize + (size_t)y] = int32of(tmpstring);
            x++;
        }
        more = readtoken(in, tmpstring);
    }
    bool complete = (y == ysize && x == 0) || (y == ysize - 1 && x == xsize);
    if (!complete)
        maperror("Error! Map block ends at row %ld, column %ld, before all %ld x %ld cells were given.\n",
                 y, x, xsize, ysize);
}

long findunittype(int num)
{
    for (long i = 0; i <= numtypes; i++)
        if (unittypelist[i].num == num)
            return i;
    return -1;
}

static void setcell(MAPUNIT *cell, const UNITTYPE *type)
{
    cell->totalcal = (long double)type->temp * type->calperc;
    cell->cocon = type->cocon;
    cell->calperc = type->calperc;
    cell->ignitionpoint = type->ignitionpoint;
    cell->fuellevel = type->fuellevel;
    cell->calperf = type->calperf;
    cell->burnspeed = type->burnspeed;
}

void makemap()
{
    // A later header without a block of its own leaves its cells unset too.
    if (xsize > 0 && ysize > 0 && (!tmpmap || tmpmapx != xsize || tmpmapy != ysize))
        maperror("Error! The map header declares %ld x %ld cells but the file has no map block.\n", xsize, ysize);
    mapsizex = xsize;
    mapsizey = ysize;
    size_t n = ncells();
    std::printf("Decoding map...\n");
    if (!allocworld(n))
        maperror("Couldn't allocate memory for curmap, exiting.\n");
    std::printf("Allocated curmap\n");
    std::printf("Allocated oldmap\n");
    // Each unit type becomes one material of the compact world.
    std::vector<int> material((size_t)(numtypes + 1), -1);
    celltypes.reserve((size_t)(numtypes + 1) + 256);
    // A material without heat capacity is refused only once the file has
    // passed every other check, so those keep their own messages.
    long nocapacity = -1;
    std::printf("Setting up map");
    for (long x = 0; x < mapsizex; x++) {
        std::printf(".");
        for (long y = 0; y < mapsizey; y++) {
            size_t index = (size_t)x * (size_t)mapsizey + (size_t)y;
            long i = findunittype(tmpmap[index]);
            if (i == -1)
                maperror("Error! Invalid unittype in map! unittype = %d\n", tmpmap[index]);
            if (!(unittypelist[i].calperc > 0) && nocapacity < 0)
                nocapacity = i;
            MAPUNIT cell;
            std::memset(&cell, 0, sizeof cell);
            setcell(&cell, &unittypelist[i]);
            cell.block = unittypelist[i].block;
            if (material[(size_t)i] < 0)
                material[(size_t)i] = interntype(celltypes, cell);
            if (material[(size_t)i] < 0)
                maperror("Error! More than 65536 unit types in use.\n");
            celltype[index] = (uint16_t)material[(size_t)i];
            oldmap->heat[index] = cell.totalcal;
            fuellevel[index] = cell.fuellevel;
        }
    }
    std::printf("\n");
    long i = findunittype(0);
    if (i == -1)
        maperror("Error! No outside type defined in map. Quiting.\n");
    if (nocapacity >= 0)
        maperror("Error! Unit type %d has calperc 0: its cells would have no temperature.\n",
                 unittypelist[nocapacity].num);
    // Without cells nothing ever takes the surroundings' temperature.
    if (n > 0 && !(unittypelist[i].calperc > 0))
        maperror("Error! Unit type 0 (outside) has calperc 0: the surroundings would have no temperature.\n");
    setcell(&outside, &unittypelist[i]);
    std::fflush(stdout);
}

void readmap(std::istream &in)
{
    char tmpstring[MAXTOKEN + 1];
    int kindler = 0, unittypes = 0, map = 0, type = 0, start = 0;
    float version = -1;

    while (readtoken(in, tmpstring)) {
        const char *t = tmpstring;
        if (std::strcmp(t, "<kindler") == 0) {
            kindler = 2;
        } else if (prefixed(t, "version=\"") && kindler == 2) {
            version = (float)atof(stripndec(tmpstring, ' '));
            kindler = 1;
            if (version != fileversion)
                maperror("Error! File is version %f but we want %f.\n", (double)version, (double)fileversion);
        } else if (std::strcmp(t, "</kindler>") == 0) {
            kindler = 0;
        } else if (kindler != 1) {
            // outside the root element
        } else if (std::strcmp(t, "<unittypes>") == 0) {
            unittypes = 1;
        } else if (std::strcmp(t, "</unittypes>") == 0) {
            unittypes = 0;
        } else if (std::strcmp(t, "<start>") == 0) {
            start = 1;
        } else if (std::strcmp(t, "</start>") == 0) {
            start = 0;
        } else if (std::strcmp(t, "<map") == 0) {
            map = 2;
        } else if (std::strcmp(t, "</map>") == 0) {
            map = 0;
        } else if (map == 2 && prefixed(t, "name=\"")) {
            char *name = copytext(t + 6, "mapname");
            std::free(mapname);
            mapname = name;
            map = 3;
        } else if (map == 3 && prefixed(t, "xsize=")) {
            xsize = intvalue(tmpstring);
            map = 4;
        } else if (map == 4 && prefixed(t, "ysize=")) {
            ysize = intvalue(tmpstring);
            map = 1;
        } else if (!(unittypes == 1 || map == 2 || map == 1)) {
            // neither in the unit-type section nor in a map element
        } else if (std::strcmp(t, "<type") == 0) {
            UNITTYPE *grown = (UNITTYPE *)std::realloc(unittypelist, (size_t)(numtypes + 2) * sizeof(UNITTYPE));
            if (!grown)
                maperror("Error! Couldn't allocate unittypelist.\n");
            unittypelist = grown;
            numtypes++;
            std::memset(&unittypelist[numtypes], 0, sizeof(UNITTYPE));
            type = 2;
        } else if (std::strcmp(t, "</type>") == 0) {
            type = 0;
        } else if (type == 2) {
            if (prefixed(t, "name=")) {
                char *name = copytext(t + 5, "unit type name");
                std::free(unittypelist[numtypes].name);
                unittypelist[numtypes].name = name;
            } else if (prefixed(t, "num=")) {
                unittypelist[numtypes].num = intvalue(tmpstring);
                type = 1;
            }
        } else if (map == 1 && type == 0 && start == 0) {
            decodemap(in, tmpstring);
        } else if (map == 0 && type == 1 && start == 0) {
            if (decodetype(tmpstring, &unittypelist[numtypes]) == 0)
                type = 0;
        } else if (start == 1 && type == 0) {
            long tmpx, tmpy;
            if (std::sscanf(t, "%ld%*c%ld", &tmpx, &tmpy) == 2) {
                MAP_VERTEX *grown = (MAP_VERTEX *)std::realloc(s_points, (size_t)(s_pointsnum + 1) * sizeof(MAP_VERTEX));
                if (!grown)
                    maperror("Error! Couldn't allocate s_points.\n");
                s_points = grown;
                s_points[s_pointsnum].x = (int32_t)(tmpx > INT32_MAX ? INT32_MAX : tmpx < INT32_MIN ? INT32_MIN : tmpx);
                s_points[s_pointsnum].y = (int32_t)(tmpy > INT32_MAX ? INT32_MAX : tmpy < INT32_MIN ? INT32_MIN : tmpy);
                s_pointsnum++;
            } else {
                start = 0;
            }
        }
    }
    makemap();
}

int loadmap(const char *filename)
{
    std::printf("Loading %s\n", filename);
    std::fflush(stdout);
    std::ifstream in(filename, std::ios::binary);
    if (!in.is_open())
        return -1;
    try {
        readmap(in);
    } catch (const MAPERROR &e) {
        std::fflush(stdout);
        std::fputs(e.what(), stderr);
        std::exit(1);
    }
    return 0;
}

void resetmap()
{
    for (long i = 0; i <= numtypes; i++)
        std::free(unittypelist[i].name);
    std::free(unittypelist);
    unittypelist = nullptr;
    numtypes = -1;
    std::free(mapname);
    mapname = nullptr;
    std::free(s_points);
    s_points = nullptr;
    s_pointsnum = 0;
    std::free(tmpmap);
    tmpmap = nullptr;
    xsize = ysize = 0;
    resetworld();
}
