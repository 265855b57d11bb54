// The web stream's messages other than the tiles: HELLO (the map, its
// materials and their colours, the heat ramp), PLAYERS (the player list),
// YOU (the answer to JOIN and RESUME) and ROUND (the round under way).
// Each is one binary WebSocket message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colours.h"
#include "wire.h"

enum : uint8_t {
    MSGHELLO = 1,
    MSGTILES = 2,
    MSGPLAYERS = 3,
    MSGYOU = 4,
    MSGROUND = 5,
};

enum { STREAMVERSION = 4 };

// The heat ramp as HELLO sends it: the colour at RAMPFIRST + i kelvins.
enum { RAMPFIRST = 320, RAMPLAST = 1500 };

// One entry of HELLO's material table.
struct HELLOMATERIAL {
    RGB colour{};
    bool block = false;
    int32_t ignitionpoint = 0;
    float fuel = 0;   // what its cells start with
    std::string name; // "" for none
};

// What HELLO tells of a map: what is fixed once it is loaded, and the
// tick the client starts at.
struct HELLOINFO {
    uint32_t sizex = 0, sizey = 0;
    std::string mapname;
    std::vector<HELLOMATERIAL> materials; // as drawn cells index them
    uint32_t tick = 0;                    // the published tick
};

// HELLO for h.
std::string encodehello(const HELLOINFO &h);

// One entry of the player list as pages see it.
struct STREAMPLAYER {
    PLAYERINFO info;  // num -1 once left
    bool web = false; // joined through the web stream
};

// PLAYERS as of tick `tick`: every player present (num >= 0), in number
// order, with the number of players ever logged in.
std::string encodeplayers(uint32_t tick, const std::vector<STREAMPLAYER> &players);

// YOU: the number JOIN or RESUME gave, or -1, the player's resume token
// ("" with -1), and why a JOIN was refused ("" otherwise).
std::string encodeyou(int32_t num, const std::string &token, const std::string &reason = "");

// One of the ended round's best, as ROUND names them.
struct ROUNDWINNER {
    uint32_t num = 0;
    int32_t score = 0;
    bool died = false;
    std::string name;
};

// ROUND: the round's number, its phase (1 playing, 2 intermission), the
// milliseconds left in the phase, how the ended round ended (0 none, 1
// its limit, 2 burnt out) and its best (at most 255).
std::string encoderound(uint32_t number, uint8_t phase, uint32_t leftms, uint8_t why,
                        const std::vector<ROUNDWINNER> &top);
