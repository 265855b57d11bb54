// The lobby's rows of the SQLite store: the fleet's outbox and the names
// owned without a fleet.
#include "store/boardsql.h"

bool writelobbyrows(sqlite3 *db, const LOBBYROWS &rows)
{
    STATEMENT put(db, "INSERT OR REPLACE INTO outbox(round, started) VALUES(?, ?)");
    STATEMENT cut(db, "DELETE FROM outbox WHERE round = ? AND started = ?");
    STATEMENT name(db, "INSERT OR IGNORE INTO names(name, keyhash) VALUES(?, ?)");
    bool ok = put.ok() && cut.ok() && name.ok();
    for (size_t i = 0; ok && i < rows.waiting.size(); i++) {
        put.bind(1, (int64_t)rows.waiting[i].number);
        put.bind(2, rows.waiting[i].started);
        ok = put.run();
    }
    for (size_t i = 0; ok && i < rows.sent.size(); i++) {
        cut.bind(1, (int64_t)rows.sent[i].number);
        cut.bind(2, rows.sent[i].started);
        ok = cut.run();
    }
    for (size_t i = 0; ok && i < rows.names.size(); i++) {
        name.blob(1, rows.names[i].first.data(), rows.names[i].first.size());
        name.blob(2, rows.names[i].second.data(), rows.names[i].second.size());
        ok = name.run();
    }
    return ok;
}

bool loadlobbyrows(sqlite3 *db, LOBBYROWS &rows, std::string &error)
{
    rows = LOBBYROWS();
    STATEMENT rounds(db, "SELECT r.number, r.map, r.started, r.ended, r.why FROM outbox o"
                         " JOIN rounds r ON r.number = o.round AND r.started = o.started ORDER BY r.number");
    STATEMENT players(db, "SELECT num, name, score, died, keyed FROM results WHERE round = ?");
    STATEMENT names(db, "SELECT name, keyhash FROM names");
    if (!rounds.ok() || !players.ok() || !names.ok()) {
        error = sqlite3_errmsg(db);
        return false;
    }
    int rc;
    while ((rc = rounds.step()) == SQLITE_ROW) {
        ROUNDRESULT r;
        r.number = (uint32_t)rounds.integer(0);
        r.map = rounds.text(1);
        r.started = rounds.integer(2);
        r.ended = rounds.integer(3);
        r.why = rounds.text(4);
        players.bind(1, rounds.integer(0));
        while ((rc = players.step()) == SQLITE_ROW)
            r.players.push_back({players.blobtext(1), (int32_t)players.integer(2), players.integer(3) != 0,
                                 (int32_t)players.integer(0), players.integer(4) != 0});
        sqlite3_reset(players.s);
        if (rc != SQLITE_DONE)
            break;
        sortentries(r.players);
        rows.waiting.push_back(std::move(r));
    }
    if (rc == SQLITE_DONE)
        while ((rc = names.step()) == SQLITE_ROW) {
            KEYHASH h{};
            if (names.size(1) == h.size()) {
                const unsigned char *p = (const unsigned char *)names.data(1);
                std::copy(p, p + h.size(), h.begin());
                rows.names.emplace_back(names.blobtext(0), h);
            }
        }
    if (rc != SQLITE_DONE) {
        error = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

bool openlobby(LOBBY &l, STORE &s, std::string &error)
{
    LOBBYROWS rows;
    if (!s.loadlobby(rows, error))
        return false;
    if (l.fleet)
        restoreoutbox(l, std::move(rows.waiting));
    pthread_mutex_lock(&l.lobby_lock);
    if (!l.fleet)
        for (const auto &[name, key] : rows.names)
            l.owners[name] = key;
    pthread_mutex_unlock(&l.lobby_lock);
    return true;
}

bool flushlobby(LOBBY &l, STORE &s, std::string &error)
{
    LOBBYROWS rows;
    pthread_mutex_lock(&l.lobby_lock);
    rows.waiting.swap(l.tostore);
    rows.sent.swap(l.sent);
    if (!l.fleet)
        rows.names.swap(l.claims);
    pthread_mutex_unlock(&l.lobby_lock);
    if (rows.waiting.empty() && rows.sent.empty() && rows.names.empty())
        return true;
    if (s.savelobby(rows, error))
        return true;
    pthread_mutex_lock(&l.lobby_lock);
    l.tostore.insert(l.tostore.begin(), rows.waiting.begin(), rows.waiting.end());
    l.sent.insert(l.sent.begin(), rows.sent.begin(), rows.sent.end());
    l.claims.insert(l.claims.begin(), rows.names.begin(), rows.names.end());
    pthread_mutex_unlock(&l.lobby_lock);
    return false;
}
