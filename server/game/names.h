// Names that belong to someone. A page sends a player key with its JOIN
// (a random secret it keeps); the first key to play a name owns it, and a
// JOIN of that name with another key is refused. Only the key's SHA-256
// is kept. Who owns which name is decided by the fleet when there is one,
// else by the store, else by the game alone (lobby.h: owners, claims):
//   - a name known owned (the game's memory of the fleet's answers and of
//     its own claims) is decided at once;
//   - with a fleet, an unknown name is asked of the fleet thread, and the
//     JOIN waits for its answer at most LOBBY::namewait seconds with no
//     game lock held; while the fleet is down, or when it does not answer
//     in time, the name is taken here and claimed in the fleet when it
//     returns (should another key have claimed it meanwhile, the fleet's
//     owner wins from then on);
//   - without a fleet the name is taken here (and kept by a store).
// Players without a key (port 3140, a JOIN without one) may play any
// name; their totals are kept apart from the owned names' (board.h).
#pragma once

#include <string>

#include "game/actions.h"
#include "game/lobby.h"

// The texts a refused JOIN tells its page.
extern const char *const NAMETAKEN;   // "that name belongs to another player"
extern const char *const GAMEFULL;    // "the game is full"
extern const char *const NOSTART;     // "no start position"
extern const char *const TOOMANYJOINS; // "too many joins"

// The hash a key is kept as.
KEYHASH hashkey(const std::string &key);
// Whether the key may play the name (and if nobody owned it, it now does).
// May wait on the fleet thread, see above; takes lobby_lock alone.
bool mayplayname(LOBBY &l, const std::string &name, const KEYHASH &key);
// Joins g as `name` with the player key `key` ("" for none), after the
// name's check: the player's number, or -1 with the refusal's text in
// `reason`.
int joinkeyed(GAME &g, ACTOR &a, const std::string &name, const std::string &key, std::string &reason);
