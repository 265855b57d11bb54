// A client of the web stream in C++ for the tests, the mirror of the
// page's web/js/decoder.js: applies the server's messages to what a page
// keeps (the map's size, materials and colours, the drawn values of the
// tiles it holds, the players, its own number and resume token) and draws a cell's colour
// as pages do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colours.h"
#include "drawn.h"
#include "tilecode.h"
#include "tiles.h"

struct CLIENTMATERIAL {
    RGB colour;
    bool block = false;
    int32_t ignitionpoint = 0;
    float fuel = 0; // what its cells start with
    std::string name;
};

struct CLIENTPLAYER {
    int32_t num = -1, x = 0, y = 0, health = 0, score = 0;
    bool web = false;
    std::string name;
    bool operator==(const CLIENTPLAYER &) const = default;
};

struct STREAMCLIENT {
    bool hello = false;
    unsigned version = 0;
    TILING grid;
    uint32_t tick = 0;
    int coldlimit = 0, hurt = 0;
    RGB ash{};
    std::string mapname;
    std::vector<CLIENTMATERIAL> materials;
    int rampfirst = 0;
    std::vector<RGB> ramp;

    DRAWN cells;                // the map's cells; valid in the tiles held
    std::vector<uint8_t> held;  // per tile: 1 when held
    CELLRECT view;              // of the last TILES
    bool keyframe = false;      // the last TILES was a key frame

    uint32_t everplayers = 0;   // players ever logged in
    std::vector<CLIENTPLAYER> players; // present ones, by number
    bool answered = false;      // a YOU came
    int32_t you = -1;
    struct ROUND {
        uint32_t number = 0, left = 0; // left: milliseconds, when it came
        unsigned phase = 0, why = 0;
        std::vector<CLIENTPLAYER> top; // num, score, health 0 for died, name
    } round;                    // the last ROUND
    int rounds = 0;             // ROUND messages applied
    std::string token;          // YOU's resume token
    std::string reason;         // YOU's reason of a refusal, "" for none

    INFLATER inflater;
};

// Applies one server message. Returns "" or what is wrong with it (the
// client's state is then undefined).
std::string applymessage(STREAMCLIENT &c, const void *data, size_t len);

// Cell (x, y) as the client holds it; false outside the tiles it holds.
bool clientcell(const STREAMCLIENT &c, long x, long y, DRAWNCELL &out);

// The colour a page shows for cell (x, y) in animation frame `frame`:
// burning cells flames (flickering with frame + 7,919 x the cell's index,
// as the terminal client's); else the base colour (ash for a burnt cell,
// the material's for any other) below coldlimit, and above it the base
// mixed towards the ramp's colour at its kelvins by
// (kelvins - coldlimit) / 40 + 0.35.
RGB streamcolour(const STREAMCLIENT &c, const DRAWNCELL &cell, long x, long y, unsigned frame);
