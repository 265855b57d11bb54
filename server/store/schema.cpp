// The store's tables and their upgrades. Each step takes the file from
// one version to the next; a file of any older version passes through
// every later step, all in one transaction.
//
// Version 1:
//   world     one row: the map's identity, the world's size, the tick, the
//             outside, the queued fires, the next start position
//   tiles     per tile of the world: its bytes (store/codec.h) and hash
//   players   every player ever logged in
//   roundstate, rounds, results   the round under way and past rounds
//   resume    web players' resume tokens (hashed)
//
// Version 2:
//   results   gains keyed: the player joined with a player key
//   outbox    the ended rounds not yet confirmed by the fleet (--fleet)
//   names     who owns a name without a fleet: the SHA-256 of its key
#include "store/sqlite.h"

static const char *const STEPS[] = {
    // 0 to 1
    "CREATE TABLE world(id INTEGER PRIMARY KEY CHECK (id = 1), mapname TEXT NOT NULL,"
    " mapsize INTEGER NOT NULL, maphash BLOB NOT NULL, sizex INTEGER NOT NULL, sizey INTEGER NOT NULL,"
    " tilesize INTEGER NOT NULL, tick INTEGER NOT NULL, outside BLOB NOT NULL, fires BLOB NOT NULL,"
    " startturn INTEGER NOT NULL, saved INTEGER NOT NULL);"
    "CREATE TABLE tiles(id INTEGER PRIMARY KEY, hash INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE TABLE players(num INTEGER PRIMARY KEY, name BLOB NOT NULL, x INTEGER NOT NULL,"
    " y INTEGER NOT NULL, health INTEGER NOT NULL, score INTEGER NOT NULL, team INTEGER NOT NULL,"
    " hasleft INTEGER NOT NULL, web INTEGER NOT NULL);"
    "CREATE TABLE roundstate(id INTEGER PRIMARY KEY CHECK (id = 1), number INTEGER NOT NULL,"
    " started INTEGER NOT NULL, state BLOB NOT NULL);"
    "CREATE TABLE rounds(number INTEGER PRIMARY KEY, map TEXT NOT NULL, started INTEGER NOT NULL,"
    " ended INTEGER NOT NULL, why TEXT NOT NULL);"
    "CREATE TABLE results(round INTEGER NOT NULL, num INTEGER NOT NULL, name BLOB NOT NULL,"
    " score INTEGER NOT NULL, died INTEGER NOT NULL, PRIMARY KEY (round, num));"
    "CREATE TABLE resume(tokenhash BLOB PRIMARY KEY, num INTEGER NOT NULL, issued INTEGER NOT NULL);",
    // 1 to 2
    "ALTER TABLE results ADD COLUMN keyed INTEGER NOT NULL DEFAULT 0;"
    "CREATE TABLE outbox(round INTEGER PRIMARY KEY, started INTEGER NOT NULL);"
    "CREATE TABLE names(name BLOB PRIMARY KEY, keyhash BLOB NOT NULL);",
};
static_assert(sizeof STEPS / sizeof STEPS[0] == STOREVERSION, "one step per version");

bool upgradestore(sqlite3 *db, int from, std::string &error)
{
    if (from >= STOREVERSION)
        return true;
    if (!execsql(db, "BEGIN IMMEDIATE", error))
        return false;
    for (int v = from; v < STOREVERSION; v++)
        if (!execsql(db, STEPS[v], error)) {
            std::string ignored;
            execsql(db, "ROLLBACK", ignored);
            return false;
        }
    const std::string stamp = "PRAGMA user_version = " + std::to_string(STOREVERSION) +
                              "; PRAGMA application_id = " + std::to_string(STOREAPPID) + "; COMMIT";
    if (!execsql(db, stamp.c_str(), error)) {
        std::string ignored;
        execsql(db, "ROLLBACK", ignored);
        return false;
    }
    return true;
}
