// Map files: reading the token stream and building the world from it.
//
// A map file is a flat sequence of whitespace-separated tokens steered by
// five state variables (root, unit types, map, type, start). The reader
// works over any std::istream; every failure after the file is open is a
// MAPERROR carrying the one line to print, and loadmap is the one place
// that prints it and ends the process.
#pragma once

#include <istream>
#include <stdexcept>
#include <string>

#include "world.h"

typedef struct unittype {
    char *name;          // type name as written, or null
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

// Loader results; fixed once loading ends, read by all without a lock.
extern UNITTYPE *unittypelist; // declared unit types in file order
extern long numtypes;          // index of the last type, -1 for none
extern char *mapname;          // map name as read, or null
extern MAP_VERTEX *s_points;   // start positions in file order
extern int s_pointsnum;

// Longest token of the format.
enum { MAXTOKEN = 24 };

// A failure of reading or building: the whole message line, newline included.
struct MAPERROR : std::runtime_error {
    explicit MAPERROR(const std::string &line) : std::runtime_error(line) {}
};

// Prints "Loading <path>", reads the file and builds the world. Returns -1
// when the file cannot be opened (nothing built), 0 after a complete load.
// On bad content it prints the error line and exits with status 1.
int loadmap(const char *filename);

// Reads a whole map from `in` and builds the world; throws MAPERROR.
void readmap(std::istream &in);

// Overwrites every character that is not a digit or '.' with `replace`.
char *stripndec(char *string, char replace);
// Applies one body token to a unit type; 0 for exactly "</type>", else 1.
int decodetype(char *tmpstring, UNITTYPE *tmptype);
// Index of the first unit type numbered num, or -1.
long findunittype(int num);
// Builds both grids and the outside cell from what was read.
void makemap();

// Frees everything the loader made and returns to the empty world.
// For tests and fuzzers; the server never calls it.
void resetmap();
