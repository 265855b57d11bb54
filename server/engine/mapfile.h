// Reading a map file: the token stream into a plain result (the unit
// types, the raw type number of every cell, the start positions). Reading
// prints nothing and builds nothing; loadmap.h builds the world from it.
//
// A map file is a flat sequence of whitespace-separated tokens steered by
// five state variables (root, unit types, map, type, start). The reader
// works over any std::istream; every failure is a MAPERROR carrying the one
// line to print.
#pragma once

#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/world.h"

typedef struct unittype {
    std::string name;    // type name as written
    bool named;          // false when the type has no name token
    int num;             // type number; cell values refer to it
    int temp;            // initial temperature of its cells
    long double cocon;
    long double calperc;
    int ignitionpoint;
    long double calperf; // (calperf before fuellevel here, the reverse of MAPUNIT)
    long double fuellevel;
    long double burnspeed;
    int block;
} UNITTYPE;

// What a map file says.
struct MAPFILE {
    std::vector<UNITTYPE> unittypelist; // declared unit types in file order
    std::string mapname;                // map name as read
    bool hasmapname = false;            // false when no map element named one
    long xsize = 0;                     // width from the map header
    long ysize = 0;                     // height from the map header
    std::unique_ptr<int[]> tmpmap;      // cell values: column x row y at x * ysize + y
    long blockx = -1, blocky = -1;      // the size tmpmap was read for; -1 without a block
    std::vector<MAP_VERTEX> s_points;   // start positions in file order
};

// Longest token of the format.
enum { MAXTOKEN = 24 };

// A failure of reading or building: the whole message line, newline included.
struct MAPERROR : std::runtime_error {
    explicit MAPERROR(const std::string &line) : std::runtime_error(line) {}
};

// Throws the MAPERROR of one printf-style line.
[[noreturn]] void maperror(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// The only map file version accepted. Single-precision on purpose: a
// map's version is compared after rounding to float.
inline constexpr float fileversion = 0.2f;

// Reads a whole map file from `in` into f (which must be fresh); throws
// MAPERROR on a bad version, a token longer than MAXTOKEN characters, a
// malformed map block, a header with cells but without a block of its own,
// or when memory runs out.
void readmapfile(std::istream &in, MAPFILE &f);

// Overwrites every character that is not a digit or '.' with `replace`.
char *stripndec(char *string, char replace);
// Applies one body token to a unit type; 0 for exactly "</type>", else 1.
int decodetype(char *tmpstring, UNITTYPE *tmptype);
// Index of the first unit type numbered num, or -1.
long findunittype(const MAPFILE &f, int num);

// The checks of what a map says, beyond its syntax, as the world builder
// makes them while it lays the cells out (makemap, loadmap.h):
// The unit type (index into f.unittypelist) of cell `index`; throws the
// "Invalid unittype" MAPERROR when the cell's value names no type.
long celltypeof(const MAPFILE &f, size_t index);
// Once every cell has a type: the outside type exists; no used type lacks
// heat capacity (`nocapacity`: the first used type without, or -1); the
// outside has heat capacity when there are cells. Throws the MAPERROR of
// the first that fails.
void checktypes(const MAPFILE &f, long nocapacity);
// Every such check in the builder's order: celltypeof over every cell,
// then checktypes. For tools that check a map without building a world.
void checkmapfile(const MAPFILE &f);
