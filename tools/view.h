// What a client knows of the game, built from protocol answers only: the
// map's fixed properties from one getallmap, the heat and fuel of every
// cell from the latest getmap, and the player list. Turns it into
// colours, into a PNG snapshot with a temperature legend, and answers the
// questions the screen asks (temperature under a player, burning, blocked).
#pragma once

#include <string>
#include <vector>

#include "burning.h"
#include "palette.h"
#include "wire.h"

struct WORLDVIEW {
    long w = 0, h = 0;             // map size in cells
    std::string name;              // map name as the server reports it
    // Fixed per cell, index x * h + y (the server's order).
    std::vector<double> calperc;   // heat capacity
    std::vector<int> ignition;     // ignition point
    std::vector<double> fuel0;     // fuel at the time of getallmap
    std::vector<char> block;       // blocking material
    std::vector<RGB> material;     // colour of the material
    // Changing per cell.
    std::vector<double> kelvins;   // temperature
    std::vector<double> fuel;      // fuel left
    std::vector<PLAYERINFO> players;

    size_t at(long x, long y) const { return (size_t)x * (size_t)h + (size_t)y; }
    bool onmap(long x, long y) const { return x >= 0 && x < w && y >= 0 && y < h; }
    // Sets the fixed properties and the first temperatures. false when the
    // records do not cover the w x h cells in the server's order.
    bool setall(long width, long height, const std::vector<FIRSTMAP> &cells);
    // Takes the temperatures and fuel of a getmap answer. false when the
    // answer does not cover the map.
    bool update(const std::vector<UPDATEMAP> &cells);
    bool burning(size_t i) const { return isburning(fuel[i], kelvins[i], ignition[i]); }
    // Colour of cell (x, y); `phase` makes flames flicker.
    RGB colour(long x, long y, unsigned phase) const;
};

// A picture of the map at `scale` pixels per cell: cell colours, present
// players as white squares with a black edge, and below it a legend of the
// temperature colours (cold cells show their material).
PICTURE snapshotpicture(const WORLDVIEW &v, int scale);
