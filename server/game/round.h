// Rounds (--round): a round ends at its limit, or by burn-out once a cell
// has burnt in it and no cell has burnt for `burnout` seconds since the
// last tick that burnt (the rule: doc/stream.md, ROUND). Between rounds moves, fires and exposure count for nothing. The
// round's record, read by all under round_lock; the tick drives it (roundtick.h).
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/board.h"
#include "engine/mapidentity.h"
#include "engine/snapshot.h"
#include "engine/world.h"

enum ROUNDPHASE : uint8_t { ROUNDOFF = 0, ROUNDPLAYING = 1, ROUNDINTERMISSION = 2 };
enum ROUNDWHY : uint8_t { WHYNONE = 0, WHYLIMIT = 1, WHYBURNTOUT = 2 };
enum { ROUNDTOP = 3 }; // the winners a round's end names
// "limit", "burnt out" (the board's words); "" for none.
const char *whyname(ROUNDWHY why);

// The world as its map file built it, kept to start each round from.
struct FIRSTWORLD {
    std::string path;    // the map file, "" for none
    MAPID id;            // its identity
    WORLDSNAPSHOT world; // its cells as built
    bool kept = false;   // set by keepfirstworld
};

// What others read of the round (roundview).
struct ROUNDVIEW {
    uint32_t number = 0;          // 0: rounds are off
    ROUNDPHASE phase = ROUNDOFF;
    double left = 0;              // seconds left in the phase, as read
    ROUNDWHY why = WHYNONE;       // how the ended round ended (intermission)
    std::vector<ROUNDRESULT::ENTRY> top; // its best three (intermission)
    uint64_t version = 0;         // raised at each round's start and end
    uint64_t ended[3] = {};       // rounds this process ended, by why
};

// Seconds on the steady clock.
double steadyseconds();

struct ROUNDS {
    ROUNDS() = default;
    ROUNDS(const ROUNDS &) = delete;
    ROUNDS &operator=(const ROUNDS &) = delete;

    // Set by start-up before the first tick, then only read.
    double length = 0;                  // seconds a round lasts; 0: rounds are off
    double intermission = 10;           // seconds between rounds
    double burnout = 30;                // the quiet time of the burn-out rule
    bool console = true;                // a line on standard output at each round's end
    double (*clock)() = steadyseconds;  // tests set their own
    std::shared_ptr<BOARD> board = std::make_shared<BOARD>(); // its own lock
    FIRSTWORLD first;                   // written by startrounds, then the tick's alone

    pthread_mutex_t round_lock = PTHREAD_MUTEX_INITIALIZER; // guards what follows; never held with another lock
    uint32_t number = 0;                // the round, from 1 (0 before startrounds)
    ROUNDPHASE phase = ROUNDOFF;
    double phaseend = 0;                // clock time the phase ends
    bool burnt = false;                 // a cell has burnt in this round
    double quietsince = 0;              // the last tick in which a cell burnt
    int64_t started = 0;                // unix seconds the round began
    ROUNDWHY why = WHYNONE;             // how the last round ended
    std::vector<ROUNDRESULT::ENTRY> top; // the ended round's best three
    uint64_t version = 0;               // raised at each change of round or phase
    uint64_t ended[3] = {};             // rounds ended, by why
};

// True when players may move and set fires and exposure counts: rounds
// off, or a round under way.
bool roundplays(ROUNDS &r);
// The round as it stands now.
ROUNDVIEW roundview(ROUNDS &r);

// The round's state for a checkpoint: its number, the unix second it
// began, and the phase with its clocks as explicit little-endian bytes.
void saveroundstate(ROUNDS &r, uint32_t &number, int64_t &started, std::vector<unsigned char> &state);
// Puts a saved state back (start-up, before startrounds); false for
// undecodable bytes (r unchanged). Number 0 changes nothing.
bool loadroundstate(ROUNDS &r, uint32_t number, int64_t started, const std::vector<unsigned char> &state);
