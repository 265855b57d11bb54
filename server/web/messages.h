// The web stream's messages other than the tiles: HELLO (the map, its
// materials and their colours, the heat ramp), PLAYERS (the player list)
// and YOU (the answer to JOIN). Each is one binary WebSocket message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wire.h"
#include "world.h"

enum : uint8_t {
    MSGHELLO = 1,
    MSGTILES = 2,
    MSGPLAYERS = 3,
    MSGYOU = 4,
};

enum { STREAMVERSION = 2 };

// The heat ramp as HELLO sends it: the colour at RAMPFIRST + i kelvins.
enum { RAMPFIRST = 320, RAMPLAST = 1500 };

// HELLO for w as of tick `tick`. Reads only what is fixed once the world
// is loaded (sizes, name, materials), so needs no lock.
std::string encodehello(const WORLD &w, uint32_t tick);

// One entry of the player list as pages see it.
struct STREAMPLAYER {
    PLAYERINFO info;  // num -1 once left
    bool web = false; // joined through the web stream
};

// PLAYERS as of tick `tick`: every player present (num >= 0), in number
// order, with the number of players ever logged in.
std::string encodeplayers(uint32_t tick, const std::vector<STREAMPLAYER> &players);

// YOU: the number JOIN gave, or -1.
std::string encodeyou(int32_t num);
