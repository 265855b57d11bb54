// The leaderboard: each ended round's result, and totals by player name
// (scores summed, rounds played, deaths), those of players with a key
// apart from those without one. A game keeps one BOARD in memory
// (ROUNDS::board); with a store the board is loaded from it at start-up and
// the results it has not saved yet are handed to the store by
// takeunsaved (server/store/store.h: makestoreboard, flushboard).
#pragma once

#include <pthread.h>

#include <cstdint>
#include <string>
#include <vector>

// One ended round.
struct ROUNDRESULT {
    uint32_t number = 0;
    std::string map;
    int64_t started = 0, ended = 0; // unix seconds
    std::string why;                // "limit" or "burnt out"
    struct ENTRY {
        std::string name;
        int32_t score = 0;
        bool died = false;
        int32_t num = -1; // the player's number in the game
        bool keyed = false; // it joined with a player key (names.h)
    };
    std::vector<ENTRY> players; // best score first (ties: lower number first)
    std::string game = "";      // the game it was played in ("" for this one)
};

// What the board shows.
struct LEADERBOARD {
    struct TOTAL {
        std::string name;
        int64_t score = 0;   // summed over its rounds
        uint32_t rounds = 0; // rounds it played
        uint32_t deaths = 0; // rounds it ended dead
    };
    uint32_t rounds = 0;       // rounds played
    uint32_t lastnumber = 0;   // the highest round number, 0 for none
    std::vector<TOTAL> totals; // players with a key: best total first (ties: by name)
    std::vector<TOTAL> unkeyed; // players without one (port 3140, keyless JOINs), kept apart
    bool haslast = false;
    ROUNDRESULT last;          // the last round ended
};

// Orders totals best first; orders a round's players best first.
void sorttotals(std::vector<LEADERBOARD::TOTAL> &totals);
void sortentries(std::vector<ROUNDRESULT::ENTRY> &players);

struct BOARD {
    BOARD() = default;
    BOARD(const BOARD &) = delete;
    BOARD &operator=(const BOARD &) = delete;

    pthread_mutex_t board_lock = PTHREAD_MUTEX_INITIALIZER; // guards what follows; never held with another lock
    LEADERBOARD board;                // guarded by board_lock
    std::vector<ROUNDRESULT> unsaved; // guarded by board_lock: results a store has not taken
    bool stored = false;              // set before the first tick: results are kept for a store
};

// Puts b into the board (start-up, before any round ends).
void setboard(BOARD &board, const LEADERBOARD &b);
// Adds a round's result to the totals (and to the unsaved ones for a store).
void addresult(BOARD &board, const ROUNDRESULT &r);
// A copy of the board with at most `top` totals.
LEADERBOARD readboard(BOARD &board, size_t top);
// The results not yet saved, oldest first; the board forgets them.
std::vector<ROUNDRESULT> takeunsaved(BOARD &board);
// Gives back results a store failed to save, to try again later.
void giveback(BOARD &board, std::vector<ROUNDRESULT> results);
