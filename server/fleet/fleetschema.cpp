// The fleet's tables and their upgrades.
#include "fleet/fleetschema.h"

namespace {

// The advisory lock's number: "kindler" in the fleet.
const char LOCK[] = "SELECT pg_advisory_xact_lock(3140314131403141)";

const char *const STEPS[] = {
    // 0 to 1
    "CREATE TABLE kindler_games(name text PRIMARY KEY, map text NOT NULL, width integer NOT NULL,"
    " height integer NOT NULL, url text NOT NULL, players integer NOT NULL, maxplayers integer NOT NULL,"
    " round integer NOT NULL, phase text, secondsleft integer NOT NULL, beat timestamptz NOT NULL);"
    "CREATE TABLE kindler_rounds(game text NOT NULL, number bigint NOT NULL, started bigint NOT NULL,"
    " map text NOT NULL, ended bigint NOT NULL, why text NOT NULL, arrived timestamptz NOT NULL DEFAULT now(),"
    " PRIMARY KEY (game, number, started));"
    "CREATE TABLE kindler_results(game text NOT NULL, number bigint NOT NULL, started bigint NOT NULL,"
    " num integer NOT NULL, name bytea NOT NULL, score bigint NOT NULL, died boolean NOT NULL,"
    " keyed boolean NOT NULL, PRIMARY KEY (game, number, started, num),"
    " FOREIGN KEY (game, number, started) REFERENCES kindler_rounds ON DELETE CASCADE);"
    "CREATE INDEX kindler_results_name ON kindler_results(keyed, name);"
    "CREATE TABLE kindler_names(name bytea PRIMARY KEY, keyhash bytea NOT NULL,"
    " claimed timestamptz NOT NULL DEFAULT now());",
};
static_assert(sizeof STEPS / sizeof STEPS[0] == FLEETVERSION, "one step per version");

} // namespace

bool upgradefleet(PGLINK &db, std::string &error)
{
    PGRESULT v;
    bool ok = db.exec("BEGIN") && db.exec(LOCK) &&
              db.exec("CREATE TABLE IF NOT EXISTS kindler_version(version integer NOT NULL)") &&
              db.exec("SELECT coalesce(max(version), 0) FROM kindler_version", {}, &v);
    int from = ok && v.rows() ? (int)v.number(0, 0) : 0;
    if (ok && from > FLEETVERSION) {
        error = "the fleet's database is of version " + std::to_string(from) + ", newer than this server's " +
                std::to_string(FLEETVERSION);
        db.exec("ROLLBACK");
        return false;
    }
    for (int step = from; ok && step < FLEETVERSION; step++)
        ok = db.exec(STEPS[step]);
    if (ok && from < FLEETVERSION)
        ok = db.exec("DELETE FROM kindler_version") &&
             db.exec("INSERT INTO kindler_version(version) VALUES ($1)", {pgnumber(FLEETVERSION)});
    if (ok && db.exec("COMMIT"))
        return true;
    error = db.error;
    if (db.connected())
        db.exec("ROLLBACK");
    return false;
}
