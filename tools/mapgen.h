// Map generation for `kindler-map gen`: natural-looking terrain from two
// smooth noise fields (height and moisture), start positions spread apart,
// and the text of a map file the server reads. Deterministic: a small
// integer hash drives everything, so the same number gives the same file
// on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GENOPTIONS {
    long width = 0, height = 0;
    unsigned long long seed = 1; // chosen by --seed
    int players = 4;             // start positions to place
    std::string name;            // the map's name; "" for gen-SEED
    // Percent of the cells of each terrain: the lowest ground is water,
    // the highest rock, ridges are lines of rock across the map; of the
    // rest the wettest grows forest and the driest dry brush.
    int water = 9, rock = 8, ridges = 0, forest = 36, brush = 22;
};

// Type numbers written by the generator.
enum { GEN_OUTSIDE = 0, GEN_WATER = 1, GEN_ROCK = 2, GEN_GRASS = 3, GEN_BRUSH = 4, GEN_FOREST = 5 };

struct GENMAP {
    long width = 0, height = 0;
    std::vector<int> cells;           // type number of (x, y) at y * width + x
    std::vector<std::pair<long, long>> starts;
    std::string name;                 // map name, without quotes
};

// Lays out the terrain and the start positions. Returns "" or one line
// saying why it cannot (no room for a start position).
std::string layoutmap(const GENOPTIONS &opt, GENMAP &map);
// The map file text of `map`.
std::string maptext(const GENMAP &map);
// Both steps: the text of a generated map file.
std::string generatemap(const GENOPTIONS &opt, std::string &text);
