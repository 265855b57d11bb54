// The store in one SQLite file: WAL journal, the schema's version in the
// file and its upgrades (schema.cpp), the bytes of store/codec.h. A save is
// one transaction and skips the tiles whose bytes hash as at the last one.
// An flock holds the file while the store is open, so a second server
// finds it busy while SQLite's own locks still let a backup read it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "store/boardsql.h"
#include "store/codec.h"
#include "store/resumerows.h"
#include "store/sqlite.h"
#include "store/store.h"

namespace {

struct SQLITESTORE final : STORE {
    std::string path;
    MAPID map;             // the game's map
    int fd = -1;           // holds the flock
    bool created = false;  // the file was made by this open
    sqlite3 *db = nullptr;
    // What the file holds, as of the last load or save.
    long sizex = -1, sizey = -1;       // the stored world's size, -1 for none
    std::vector<uint64_t> hashes;      // per tile of that size
    std::vector<SAVEDPLAYER> players;  // the player rows
    std::vector<SAVEDTOKEN> tokens;    // the resume rows

    ~SQLITESTORE() override
    {
        if (db)
            sqlite3_close(db); // before the fd, whose close would drop SQLite's locks too
        if (fd >= 0)
            close(fd);
    }
    bool save(const CHECKPOINT &c, SAVEREPORT &report, std::string &error) override;
    int load(CHECKPOINT &c, std::string &error) override;
    bool discardworld(std::string &error) override;
    bool saveround(const ROUNDRESULT &r, std::string &error) override
    {
        return transaction(error, [&] { return writeroundrows(db, r); });
    }
    bool loadboard(LEADERBOARD &b, std::string &error) override { return told(loadboardrows(db, b, error), error); }

    bool savelobby(const LOBBYROWS &rows, std::string &error) override
    {
        return transaction(error, [&] { return writelobbyrows(db, rows); });
    }
    bool loadlobby(LOBBYROWS &rows, std::string &error) override { return told(loadlobbyrows(db, rows, error), error); }

    std::string fail(const std::string &what) const { return "store " + path + ": " + what; }
    // ok, with `error` made this store's line when it is false.
    bool told(bool ok, std::string &error) const
    {
        if (!ok)
            error = fail(error);
        return ok;
    }
    // Runs `write` in a transaction of its own (intransaction); false with
    // this store's line.
    template <class WRITE> bool transaction(std::string &error, WRITE write)
    {
        return told(intransaction(db, error, write), error);
    }
    bool storedmap(MAPID &stored, bool &any, std::string &error);
    bool writeplayers(const CHECKPOINT &c, SAVEREPORT &report);
    bool loadplayers(CHECKPOINT &c, std::string &error);
};

bool sameplayer(const SAVEDPLAYER &a, const SAVEDPLAYER &b)
{
    return std::memcmp(a.info.name, b.info.name, sizeof a.info.name) == 0 && a.info.score == b.info.score &&
           a.info.team == b.info.team && a.info.health == b.info.health && a.info.x == b.info.x &&
           a.info.y == b.info.y && a.info.num == b.info.num && a.web == b.web;
}

// The map of the stored world (any false when the store holds none).
bool SQLITESTORE::storedmap(MAPID &stored, bool &any, std::string &error)
{
    STATEMENT q(db, "SELECT mapname, mapsize, maphash FROM world WHERE id = 1");
    int rc = q.ok() ? q.step() : SQLITE_ERROR;
    any = rc == SQLITE_ROW;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        error = fail(sqlite3_errmsg(db));
        return false;
    }
    if (any) {
        stored.name = q.text(0);
        stored.size = (uint64_t)q.integer(1);
        if (q.size(2) != sizeof stored.sha256) {
            error = fail("undecodable map identity");
            return false;
        }
        std::memcpy(stored.sha256, q.data(2), sizeof stored.sha256);
    }
    return true;
}

// Names a map by its file, size and the start of its SHA-256.
std::string describe(const MAPID &m)
{
    char hex[17];
    for (int i = 0; i < 8; i++)
        std::snprintf(hex + 2 * i, 3, "%02x", m.sha256[i]);
    return m.name + ", " + std::to_string(m.size) + " bytes, SHA-256 " + hex + "...";
}

std::string anothermap(const MAPID &stored, const MAPID &map)
{
    return "holds the world of another map (" + describe(stored) + "), not of this one (" + describe(map) + ")";
}

bool SQLITESTORE::writeplayers(const CHECKPOINT &c, SAVEREPORT &report)
{
    STATEMENT put(db, "INSERT OR REPLACE INTO players(num, name, x, y, health, score, team, hasleft, web)"
                      " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
    STATEMENT cut(db, "DELETE FROM players WHERE num >= ?");
    if (!put.ok() || !cut.ok())
        return false;
    for (size_t i = 0; i < c.players.size(); i++) {
        const SAVEDPLAYER &p = c.players[i];
        if (i < players.size() && sameplayer(p, players[i]))
            continue;
        put.bind(1, (int64_t)i);
        put.blob(2, p.info.name, strnlen(p.info.name, sizeof p.info.name));
        put.bind(3, p.info.x);
        put.bind(4, p.info.y);
        put.bind(5, p.info.health);
        put.bind(6, p.info.score);
        put.bind(7, p.info.team);
        put.bind(8, p.info.num < 0);
        put.bind(9, p.web);
        if (!put.run())
            return false;
        report.players++;
        report.bytes += sizeof(PLAYERINFO);
    }
    cut.bind(1, (int64_t)c.players.size());
    return cut.run();
}

bool SQLITESTORE::save(const CHECKPOINT &c, SAVEREPORT &report, std::string &error)
{
    const auto from = std::chrono::steady_clock::now();
    report = SAVEREPORT();
    // A file removed under the server would take every later save with it.
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_nlink == 0) {
        error = fail("the file was removed");
        return false;
    }
    MAPID stored;
    bool any = false;
    if (!storedmap(stored, any, error))
        return false;
    if (any && !samemap(stored, map)) {
        error = fail(anothermap(stored, map));
        return false;
    }
    const TILES t(c.sizex, c.sizey);
    const bool samesize = c.sizex == sizex && c.sizey == sizey;
    std::vector<uint64_t> written(t.count());
    const bool saved = transaction(error, [&] {
        STATEMENT world(db, "INSERT OR REPLACE INTO world(id, mapname, mapsize, maphash, sizex, sizey, tilesize,"
                            " tick, outside, fires, startturn, saved) VALUES(1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        STATEMENT tile(db, "INSERT OR REPLACE INTO tiles(id, hash, data) VALUES(?, ?, ?)");
        STATEMENT cut(db, "DELETE FROM tiles WHERE id >= ?");
        BYTES outside, fires;
        encodeoutside(c.outside, outside);
        encodefires(c.fires, fires);
        bool ok = world.ok() && tile.ok() && cut.ok();
        if (ok) {
            world.bind(1, map.name);
            world.bind(2, (int64_t)map.size);
            world.blob(3, map.sha256, sizeof map.sha256);
            world.bind(4, c.sizex);
            world.bind(5, c.sizey);
            world.bind(6, TILESIZE);
            world.bind(7, (int64_t)c.tick);
            world.blob(8, outside.b.data(), outside.b.size());
            world.blob(9, fires.b.data(), fires.b.size());
            world.bind(10, c.startturn);
            world.bind(11, (int64_t)std::time(nullptr));
            ok = world.run();
            report.bytes += outside.b.size() + fires.b.size() + sizeof map.sha256;
        }
        const std::vector<size_t> column = tagcolumns(c);
        BYTES bytes;
        for (size_t i = 0; ok && i < t.count(); i++) {
            bytes.b.clear();
            encodetile(c, t, i, column, bytes);
            written[i] = tilehash(bytes.b.data(), bytes.b.size());
            if (samesize && written[i] == hashes[i])
                continue;
            tile.bind(1, (int64_t)i);
            tile.bind(2, (int64_t)written[i]);
            tile.blob(3, bytes.b.data(), bytes.b.size());
            ok = tile.run();
            report.tiles++;
            report.bytes += bytes.b.size();
            if (tilewritten)
                tilewritten(tilewrittenarg, report.tiles);
        }
        if (ok) {
            cut.bind(1, (int64_t)t.count());
            ok = cut.run() && writeplayers(c, report) && writeroundstate(db, c.round) &&
                 (sametokens(c.tokens, tokens) || writetokenrows(db, c.tokens, report.bytes));
        }
        return ok;
    });
    if (!saved)
        return false;
    sizex = c.sizex;
    sizey = c.sizey;
    hashes.swap(written);
    players = c.players;
    tokens = c.tokens;
    // Keeps the log short: its pages go into the file now, not at some
    // later commit (a reader that holds it back only delays this).
    std::string ignored;
    execsql(db, "PRAGMA wal_checkpoint(TRUNCATE)", ignored);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    return true;
}

bool SQLITESTORE::discardworld(std::string &error)
{
    std::string ignored;
    if (!execsql(db, "BEGIN IMMEDIATE; DELETE FROM world; DELETE FROM tiles; DELETE FROM players;"
                     " DELETE FROM roundstate; DELETE FROM resume; COMMIT", error)) {
        error = fail(error);
        execsql(db, "ROLLBACK", ignored);
        return false;
    }
    sizex = sizey = -1;
    hashes.clear();
    players.clear();
    return true;
}

bool SQLITESTORE::loadplayers(CHECKPOINT &c, std::string &error)
{
    STATEMENT q(db, "SELECT num, name, x, y, health, score, team, hasleft, web FROM players ORDER BY num");
    c.players.clear();
    int rc;
    while (q.ok() && (rc = q.step()) == SQLITE_ROW) {
        SAVEDPLAYER p;
        std::memset(&p.info, 0, sizeof p.info);
        if (q.integer(0) != (int64_t)c.players.size() || q.size(1) >= sizeof p.info.name) {
            error = fail("undecodable player list");
            return false;
        }
        if (q.size(1) > 0)
            std::memcpy(p.info.name, q.data(1), q.size(1));
        p.info.x = (int32_t)q.integer(2);
        p.info.y = (int32_t)q.integer(3);
        p.info.health = (int32_t)q.integer(4);
        p.info.score = (int32_t)q.integer(5);
        p.info.team = (int32_t)q.integer(6);
        p.info.num = q.integer(7) ? -1 : (int32_t)c.players.size();
        p.web = q.integer(8) != 0;
        c.players.push_back(p);
    }
    if (!q.ok() || rc != SQLITE_DONE) {
        error = fail(sqlite3_errmsg(db));
        return false;
    }
    return true;
}

int SQLITESTORE::load(CHECKPOINT &c, std::string &error)
{
    MAPID stored;
    bool any = false;
    if (!storedmap(stored, any, error))
        return -1;
    if (!any)
        return 0;
    if (!samemap(stored, map)) {
        error = fail(anothermap(stored, map));
        return -1;
    }
    STATEMENT w(db, "SELECT sizex, sizey, tilesize, tick, outside, fires, startturn FROM world WHERE id = 1");
    if (!w.ok() || w.step() != SQLITE_ROW) {
        error = fail(sqlite3_errmsg(db));
        return -1;
    }
    c.sizex = (long)w.integer(0);
    c.sizey = (long)w.integer(1);
    c.tick = (uint64_t)w.integer(3);
    c.startturn = (int)w.integer(6);
    const uint64_t n = (uint64_t)c.sizex * (uint64_t)c.sizey;
    if (c.sizex < 0 || c.sizey < 0 || c.sizex > UINT32_MAX || c.sizey > UINT32_MAX || n > UINT32_MAX ||
        w.integer(2) != TILESIZE || !decodeoutside(w.data(4), w.size(4), c.outside) ||
        !decodefires(w.data(5), w.size(5), (size_t)n, c.fires)) {
        error = fail("undecodable world record");
        return -1;
    }
    const TILES t(c.sizex, c.sizey);
    c.heat.assign((size_t)n, 0);
    c.fuel.assign((size_t)n, 0);
    std::vector<int32_t> attrindex((size_t)n, -1);
    std::vector<ATTR> pool;
    std::vector<uint64_t> hash(t.count());
    STATEMENT q(db, "SELECT id, hash, data FROM tiles ORDER BY id");
    size_t next = 0;
    int rc;
    while (q.ok() && (rc = q.step()) == SQLITE_ROW) {
        if (q.integer(0) != (int64_t)next || next >= t.count() ||
            !decodetile(q.data(2), q.size(2), t, next, c, attrindex, pool)) {
            error = fail("undecodable tile " + std::to_string(q.integer(0)));
            return -1;
        }
        hash[next++] = (uint64_t)q.integer(1);
    }
    if (!q.ok() || rc != SQLITE_DONE || next != t.count()) {
        error = fail(q.ok() && rc == SQLITE_DONE ? "tiles missing" : sqlite3_errmsg(db));
        return -1;
    }
    c.tagged.clear();
    c.attr.clear();
    for (size_t i = 0; i < (size_t)n; i++)
        if (attrindex[i] >= 0) {
            c.tagged.push_back((uint32_t)i);
            c.attr.push_back(pool[(size_t)attrindex[i]]);
        }
    if (!loadplayers(c, error))
        return -1;
    if (!readroundstate(db, c.round, error)) {
        error = fail(error);
        return -1;
    }
    std::string why;
    if (!readtokenrows(db, c.players.size(), c.tokens, why)) {
        error = fail(why);
        return -1;
    }
    sizex = c.sizex;
    sizey = c.sizey;
    hashes.swap(hash);
    players = c.players;
    tokens = c.tokens;
    return 1;
}

// The first line of a quick check ("ok" for a sound file).
std::string quickcheck(sqlite3 *db)
{
    STATEMENT q(db, "PRAGMA quick_check(1)");
    if (!q.ok() || q.step() != SQLITE_ROW)
        return sqlite3_errmsg(db);
    return q.text(0);
}

// Reads the header and the tables' list: a file that is no database, or
// not this program's, or of a newer version is refused here, before
// anything is written. The version found in `version`.
bool examine(SQLITESTORE &s, int &version, std::string &error)
{
    STATEMENT q(s.db, "SELECT (SELECT count(*) FROM sqlite_master), (SELECT application_id FROM pragma_application_id),"
                      " (SELECT user_version FROM pragma_user_version)");
    if (!q.ok() || q.step() != SQLITE_ROW) {
        int code = sqlite3_errcode(s.db);
        error = s.fail(code == SQLITE_NOTADB || code == SQLITE_CORRUPT ? "not a database file (corrupt?)"
                                                                      : sqlite3_errmsg(s.db));
        return false;
    }
    const int64_t tables = q.integer(0), appid = q.integer(1);
    version = (int)q.integer(2);
    if (appid != STOREAPPID && (appid != 0 || tables != 0)) {
        error = s.fail("not a kindler store");
        return false;
    }
    if (version > STOREVERSION) {
        error = s.fail("made by a newer kindler (schema version " + std::to_string(version) + ", this one knows " +
                       std::to_string(STOREVERSION) + ")");
        return false;
    }
    std::string check = quickcheck(s.db);
    std::replace(check.begin(), check.end(), '\n', ' ');
    if (check != "ok") {
        error = s.fail("corrupt (" + check + ")");
        return false;
    }
    return true;
}

// The tile hashes and the size of the stored world, for the first save.
bool loadhashes(SQLITESTORE &s, std::string &error)
{
    STATEMENT w(s.db, "SELECT sizex, sizey FROM world WHERE id = 1");
    if (w.ok() && w.step() == SQLITE_ROW) {
        s.sizex = (long)w.integer(0);
        s.sizey = (long)w.integer(1);
        s.hashes.assign(TILES(s.sizex, s.sizey).count(), 0);
    }
    STATEMENT q(s.db, "SELECT id, hash FROM tiles");
    int rc;
    while (q.ok() && (rc = q.step()) == SQLITE_ROW)
        if (q.integer(0) >= 0 && (size_t)q.integer(0) < s.hashes.size())
            s.hashes[(size_t)q.integer(0)] = (uint64_t)q.integer(1);
    if (!w.ok() || !q.ok() || rc != SQLITE_DONE) {
        error = s.fail(sqlite3_errmsg(s.db));
        return false;
    }
    return true;
}

} // namespace

// Opens s.path into s; false with the reason's line.
static bool openinto(SQLITESTORE &s, std::string &error)
{
    s.fd = open(s.path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    s.created = s.fd >= 0;
    if (s.fd < 0 && errno == EEXIST)
        s.fd = open(s.path.c_str(), O_RDWR | O_CLOEXEC);
    if (s.fd < 0) {
        error = s.fail(std::string("cannot open: ") + std::strerror(errno));
        return false;
    }
    if (flock(s.fd, LOCK_EX | LOCK_NB) != 0) {
        error = s.fail(errno == EWOULDBLOCK ? "in use by another process" : std::strerror(errno));
        return false;
    }
    if (sqlite3_open_v2(s.path.c_str(), &s.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        error = s.fail(s.db ? sqlite3_errmsg(s.db) : "cannot open");
        return false;
    }
    sqlite3_busy_timeout(s.db, 2000);
    int version = 0;
    if (!examine(s, version, error))
        return false;
    std::string sqlerror;
    {
        STATEMENT wal(s.db, "PRAGMA journal_mode = WAL");
        if (!wal.ok() || wal.step() != SQLITE_ROW || wal.text(0) != "wal") {
            error = s.fail(std::string("cannot keep a write-ahead log: ") + sqlite3_errmsg(s.db));
            return false;
        }
    }
    if (!execsql(s.db, "PRAGMA synchronous = FULL", sqlerror) || !upgradestore(s.db, version, sqlerror)) {
        error = s.fail(sqlerror);
        return false;
    }
    return loadhashes(s, error);
}

std::unique_ptr<STORE> openstore(const std::string &path, const MAPID &map, std::string &error)
{
    auto s = std::make_unique<SQLITESTORE>();
    s->path = path;
    s->map = map;
    if (openinto(*s, error))
        return s;
    // A file this call created is removed again; any other is left as it was.
    const bool created = s->created;
    s.reset();
    if (created)
        for (const char *suffix : {"", "-wal", "-shm"})
            unlink((path + suffix).c_str());
    return nullptr;
}
