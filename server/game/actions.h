// The game layer: a player's actions, written once. Each front end (port
// 3140's commands, the web stream's messages) translates what its clients
// send into these calls, for an ACTOR that plays by a named policy:
//   CLASSIC  what port 3140 has always done: a client logs in as many
//            players as it likes and plays the last; it may move any
//            present, living player to any position; its fires need only a
//            living player; its exposure step runs before each command.
//   FAIR     what the web stream allows: one player per client (a new join
//            leaves the old player); it moves only its own player, one step
//            to a free neighbour (shared/moverule.h); at most 20 moves and
//            20 fires a second (token buckets); its exposure step runs
//            after every tick (tickgame). Each player has a resume token
//            (resume.h): when the client's connection drops, the player is
//            kept, present and exposed as any, for the game's keep time,
//            and a RESUME with its token gives it back, also to another
//            client (which takes it over: the first one's actor has no
//            player from then on).
// The exposure step itself is exposure.h's. Between rounds (round.h) every
// move and fire of both policies is refused.
#pragma once

#include <string>

#include "game/record.h"
#include "game/tokenbucket.h"

enum POLICY { CLASSIC, FAIR };

// One client's part in a game: its policy, its player and its rates.
struct ACTOR {
    POLICY policy = CLASSIC;
    int num = -1;      // its player, -1 for none
    TOKENBUCKET moves; // FAIR: the moves it may make
    TOKENBUCKET fires; // FAIR: the fires it may set
    std::string token; // FAIR: its player's resume token ("" for none)
    uint64_t hold = 0; // FAIR: its hold on the player (RESUMEENTRY::holder)
};

// What became of an action.
enum ACTED {
    ACTDONE,    // done
    ACTREFUSED, // the rules forbid it (no living player, not a free step...)
    ACTDROPPED, // over the rate (FAIR)
};

// Joins g as a new player named `name` (at most NAMEMAX characters kept) at
// the next start position; the actor plays it from now on. FAIR: the
// actor's old player leaves first, and the new one gets a resume token
// (a.token). Returns the new number, or -1 when the game has no start
// position to give or no room (the actor then has no new player; CLASSIC
// keeps its old one).
int joingame(GAME &g, ACTOR &a, const char *name);

// Moves player `num` to (x, y), or by (x, y) from where it stands when `by`
// is set. CLASSIC: any present, living player to any position. FAIR: only
// the actor's own living player, to a free neighbour, within the rate.
ACTED moveplayer(GAME &g, ACTOR &a, int num, long x, long y, bool by = false);

// A fire of FIREHEAT calories on the cell of the actor's living player,
// tagged with it (FAIR: within the rate).
ACTED setfire(GAME &g, ACTOR &a);

// The actor's player, if any, leaves (it stays in the list, marked left).
// FAIR: unless another actor took it over (it is then only forgotten).
void leavegame(GAME &g, ACTOR &a);

// FAIR: the actor plays the player whose resume token is `token`, kept or
// played by another actor (which loses it), from now on; its own old
// player, if another, leaves first. Returns the number, or -1 (no such
// token: the actor then has no player).
int resumegame(GAME &g, ACTOR &a, const std::string &token);
// The actor's connection is gone. FAIR: its player is kept for resume for
// g.resumes.keep seconds from `now` (leaves at once when that is 0);
// CLASSIC: leavegame.
void dropgame(GAME &g, ACTOR &a, RESUMECLOCK::time_point now = RESUMECLOCK::now());
// The kept players whose time is up at `now` leave (every tick).
void expirekept(GAME &g, RESUMECLOCK::time_point now = RESUMECLOCK::now());

// For checkpoints: the resume tokens issued (resume_lock); and, after a
// restore, the web players `web` (and no other) kept for g.resumes.keep
// seconds from `now`, each with its token when `tokens` has one.
std::vector<SAVEDTOKEN> issuedtokens(GAME &g);
void keeprestored(GAME &g, const std::vector<int> &web, const std::vector<SAVEDTOKEN> &tokens,
                  RESUMECLOCK::time_point now);
