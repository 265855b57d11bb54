// What a game knows beyond itself: its name and address among the games of
// a fleet, the fleet's live games and leaderboard as its fleet thread last
// read them, the ended results waiting to be sent to the fleet, and the
// names that belong to players (names.h). A game without a fleet lists
// itself alone and shows its own board. The game and its front ends only
// read and write this record; whatever talks to a database (the fleet
// thread, server/fleet/) copies from it and into it, never holding its lock
// while it waits.
#pragma once

#include <pthread.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "game/board.h"
#include "game/player.h"
#include "game/round.h"

typedef std::array<unsigned char, 32> KEYHASH; // SHA-256 of a player key

// One live game of the fleet.
struct GAMEROW {
    std::string name, map, url; // url "" for this game's without --public-url
    uint32_t width = 0, height = 0;
    int players = 0, maxplayers = 0; // present now; the most it takes
    uint32_t round = 0;              // 0: no rounds
    ROUNDPHASE phase = ROUNDOFF;
    int left = 0;                    // whole seconds left in the phase
    bool self = false;               // this game
};

struct LOBBY {
    LOBBY() = default;
    LOBBY(const LOBBY &) = delete;
    LOBBY &operator=(const LOBBY &) = delete;

    // Set by start-up before the first tick, then only read.
    std::string name;             // the game's name in the fleet
    std::string publicurl;        // its page's address, "" for the one a browser used
    int maxplayers = MAXPLAYERS;  // players present at most
    bool fleet = false;           // a fleet thread serves this record
    bool keepclaims = false;      // names claimed here wait for a fleet or a store (claims)
    bool stored = false;          // a store keeps the outbox too (tostore, sent)
    double namewait = 0.25;       // seconds a keyed JOIN waits for the fleet's word on a name

    pthread_mutex_t lobby_lock = PTHREAD_MUTEX_INITIALIZER; // guards what follows; never held with another lock
    pthread_cond_t changed = PTHREAD_COND_INITIALIZER;      // signalled on asks, answers and new results
    bool hasfleetview = false;     // games and board below were read from the fleet
    std::vector<GAMEROW> games;    // the fleet's live games, by name
    LEADERBOARD board;             // the fleet's board (totals cut to its top)
    bool fleetup = false;          // the fleet answered its last call
    std::map<std::string, KEYHASH> owners; // names known to belong to a key
    std::map<int, KEYHASH> keyed;  // players, by number, that joined with a key
    std::vector<std::pair<std::string, KEYHASH>> asks;   // names a JOIN waits on the fleet for
    std::vector<std::pair<std::string, KEYHASH>> claims; // names taken here the fleet or store has not
    std::vector<ROUNDRESULT> outbox; // ended results the fleet has not confirmed, oldest first
    std::vector<ROUNDRESULT> tostore; // new ones of them a store has not kept yet
    std::vector<ROUNDRESULT> sent;  // those the fleet confirmed that a store still keeps
    bool stopping = false;         // the fleet thread ends
    uint64_t tickends = 0;         // ticks ended: the fleet thread's calls follow one, in the pause after it

    // For the metrics, written by the fleet thread alone.
    std::atomic<bool> up{false};           // the fleet answered its last call
    std::atomic<int64_t> lastbeat{-1};     // steady-clock ns of the last heartbeat stored, -1 none
    std::atomic<int64_t> started{0};       // steady-clock ns the record began
};

// An ended round's result for the fleet (its outbox; nothing without one).
void postresult(LOBBY &l, const ROUNDRESULT &r);
// Results handed back to a store that keeps them (loaded at start-up).
void restoreoutbox(LOBBY &l, std::vector<ROUNDRESULT> results);
// Marks the entries of players that joined with a key.
void markkeyed(LOBBY &l, std::vector<ROUNDRESULT::ENTRY> &players);
// Tells the fleet thread that a tick ended (the tick's thread, no other
// lock held): the pause before the next one begins.
void lobbytickended(LOBBY &l);
// Steady-clock nanoseconds.
int64_t lobbyclock();
