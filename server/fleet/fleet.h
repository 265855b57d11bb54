// The fleet thread: every call to the fleet's PostgreSQL database runs on
// it, never on the tick's thread nor under a game lock. It copies what it
// needs from the game through the game's calls (gamerow) and from the
// game's LOBBY (asks, claims, outbox, under lobby_lock), lets go of every
// lock, talks to the database, then puts the answers back into the LOBBY.
// It keeps the game's row fresh every `beat` seconds (and reads the live
// games and the fleet's board then), sends each ended round's result once,
// and answers the names JOINs ask about. Its calls (but a name's, which a
// JOIN waits for) start when a tick ends: they and the database's work for
// them fall in the pause between two ticks, not in a tick whose threads
// fill the cores. A database that is unreachable,
// slow, gone or refusing never stops the game: the fleet is marked down,
// one line goes to `log` at most every `logevery` seconds while it lasts,
// the results wait in the outbox, and the thread tries again every `retry`
// seconds.
#pragma once

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "fleet/pg.h"
#include "game/game.h"

struct FLEET {
    FLEET() = default;
    FLEET(const FLEET &) = delete;
    FLEET &operator=(const FLEET &) = delete;

    // Set before startfleet, then only read.
    GAME *game = nullptr;
    std::string uri;        // the database, a libpq connection URI
    PGBOUNDS bounds;        // its waits' bounds
    double beat = 2;        // seconds between two refreshes of the game's row
    double stale = 15;      // rows older than this are not listed
    double retry = 2;       // seconds between two attempts while the database is away
    FILE *log = stderr;     // where failures are told
    double logevery = 60;   // seconds between two lines while a failure lasts
    std::string defaulturl; // the row's page address without --public-url
    double tickwait = 1;    // seconds the calls wait for a tick to end (a game that does not tick holds them no longer)

    // The fleet thread's own while it runs.
    pthread_t thread{};
    bool running = false;
    PGLINK db;
    bool ready = false;     // connected and the tables are of our version
    std::chrono::steady_clock::time_point lastlog{}, nextbeat{}, nextretry{}, nextsend{};
    bool logged = false;    // a failure was told and has not ended
};

// Marks the game's lobby as served by a fleet and starts the thread; false
// when the thread cannot start.
bool startfleet(FLEET &f);
// Ends the thread (after the call it is in, each bounded) and joins it.
void stopfleet(FLEET &f);
