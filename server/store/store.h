// The store: what survives a restart of a game. A checkpoint is a plain
// snapshot of a game (takecheckpoint copies it under the game's locks and
// never touches the disk); a store keeps the last checkpoint saved, and
// restorecheckpoint puts it back into a game of the same map, bit for bit.
// The store is an interface: openstore gives the SQLite file backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/mapidentity.h"
#include "engine/snapshot.h"
#include "game/game.h"

// One player as a checkpoint keeps it: the list entry (number = index,
// num -1 when left) and whether it plays under the fair policy (the web).
using SAVEDPLAYER = LISTEDPLAYER;

// The round under way (server/round.h): its number (0: rounds off or
// none), the unix second it began, and its phase and clocks in the
// round's own little-endian bytes (saveroundstate).
struct SAVEDROUND {
    uint32_t number = 0;
    int64_t started = 0;
    std::vector<unsigned char> state;
};

// A game at one published tick: its world's published state (the
// world's fixed parts come from the map and are not in it), its players,
// the round and the resume tokens.
struct CHECKPOINT : WORLDSNAPSHOT {
    std::vector<SAVEDPLAYER> players; // every player ever logged in
    int startturn = 0;               // the next start position handed out
    SAVEDROUND round;                // the round under way
    std::vector<SAVEDTOKEN> tokens;  // the web players' resume tokens, hashed (resume.h)
};

// Copies g's published state and players into c (reusing c's memory).
// Copies the grid with no lock held under the copying mark (only a tick's
// swap waits for it; readers, fires and a tick's computing do not), then
// takes playerlist_lock with s_pointindex_lock, then
// resume_lock, then round_lock; touches no file. Called by any thread but the ticking one.
void takecheckpoint(GAME &g, CHECKPOINT &c);

// What one save wrote.
struct SAVEREPORT {
    size_t tiles = 0;     // tile rows written
    size_t players = 0;   // player rows written
    size_t bytes = 0;     // bytes of the blobs written (72 a player row)
    double seconds = 0;   // encoding, writing and committing
};

// A store of one game's map. Its functions are called by one thread at a
// time. Every error is one line of text (no newline).
struct STORE {
    virtual ~STORE() = default;
    // Saves c as the store's checkpoint, all of it or nothing. Refuses a
    // store that holds another map's world.
    virtual bool save(const CHECKPOINT &c, SAVEREPORT &report, std::string &error) = 0;
    // 1 with the stored checkpoint in c, 0 when the store holds none, -1
    // on error (another map's world, undecodable data).
    virtual int load(CHECKPOINT &c, std::string &error) = 0;
    // Drops the stored world (world, tiles, players, the round under way,
    // resume tokens) in one transaction, whatever map it was of; keeps the
    // rounds played and their results. False on error (nothing dropped).
    virtual bool discardworld(std::string &error) = 0;
    // Saves one ended round and its players' results, in a transaction of
    // its own (a round saved again replaces the first).
    virtual bool saveround(const ROUNDRESULT &r, std::string &error) = 0;
    // The board from the stored rounds: totals by name, the rounds and
    // the last round's result.
    virtual bool loadboard(LEADERBOARD &b, std::string &error) = 0;
    // The lobby's rows (LOBBYROWS) written in one transaction, or read.
    virtual bool savelobby(const struct LOBBYROWS &rows, std::string &error) = 0;
    virtual bool loadlobby(struct LOBBYROWS &rows, std::string &error) = 0;
    // Called after each tile row written inside a save's transaction
    // (progress; tests stop a save half way).
    void (*tilewritten)(void *arg, size_t tiles) = nullptr;
    void *tilewrittenarg = nullptr;
};

// Opens (creating it when missing) the SQLite store at `path` for a game
// of map `map`, and holds it against every other process until closed.
// Null with the reason's line when the file cannot be opened or created,
// is held by another process, is no store, is corrupt or of a newer
// version; the file is then left as it was.
std::unique_ptr<STORE> openstore(const std::string &path, const MAPID &map, std::string &error);
// A board for a game (ROUNDS::board) holding what the store's rounds say,
// whose new results wait for flushboard; null with the reason's line.
std::shared_ptr<BOARD> makestoreboard(STORE &s, std::string &error);
// Saves the board's new results into the store (by the thread that uses
// the store, e.g. after each checkpoint); false with the reason's line,
// the results then kept for the next call.
bool flushboard(BOARD &b, STORE &s, std::string &error);

// What a store keeps of a game's lobby (game/lobby.h): the ended rounds
// waiting for the fleet (the outbox; their results are the rounds' rows)
// and, without a fleet, who owns which name.
struct LOBBYROWS {
    std::vector<ROUNDRESULT> waiting; // saving: rounds into the outbox; loading: the outbox
    std::vector<ROUNDRESULT> sent;    // saving: rounds out of it, the fleet has them
    std::vector<std::pair<std::string, KEYHASH>> names; // saving: new claims; loading: every owner
};
// Start-up: the store's outbox (with a fleet) and names (without) into the
// game's lobby. False with the reason's line.
bool openlobby(LOBBY &l, STORE &s, std::string &error);
// Saves what the lobby has for the store (by the thread that uses the
// store, after flushboard: the rounds are saved before the outbox names
// them); false with the reason's line, what was taken then given back.
bool flushlobby(LOBBY &l, STORE &s, std::string &error);

// Releases the store (and its hold on the file).
void closestore(std::unique_ptr<STORE> &s);

bool savecheckpoint(STORE &s, const CHECKPOINT &c, SAVEREPORT &report, std::string &error);
int loadcheckpoint(STORE &s, CHECKPOINT &c, std::string &error);

// Puts the store's checkpoint into g, whose world is built from the same
// map and not ticking: 1 when restored, 0 when the store holds none
// (g unchanged), -1 with the reason's line (g unchanged). Its web players
// are kept for a resume (with their tokens) for g.resumes.keep seconds
// from the restore.
int restorecheckpoint(STORE &s, GAME &g, std::string &error);
