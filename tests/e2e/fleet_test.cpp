// Three real servers in a fleet on a real PostgreSQL (Debian's postgresql,
// started in a temporary directory as an unprivileged user): each lists
// all three games with their players; the rounds of two reach the third's
// board; a server killed with kill -9 drops out of the list; a name owned
// on one game is refused on another with another key; a round that ends
// while the database is stopped arrives once when it returns.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <boost/json.hpp>

#include <algorithm>
#include <chrono>
#include <functional>

#include "fleet/fleet.h"
#include "fleet/fleetdb.h"
#include "pgserver.h"
#include "support.h"
#include "webclient.h"

namespace {

namespace json = boost::json;

// The fleet's database.
PGSERVER *pg = nullptr;

class Fleet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!PGSERVER::installed())
            return;
        pg = new PGSERVER;
        if (!pg->make() || !pg->start()) {
            delete pg;
            pg = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete pg;
        pg = nullptr;
    }
    void SetUp() override
    {
        if (!PGSERVER::installed())
            GTEST_SKIP() << "postgresql is not installed (scripts/deps.sh installs it)";
        ASSERT_NE(pg, nullptr) << "PostgreSQL did not start";
    }
};

// A game of the fleet on port `port` (its page on port + 1).
void startgame(SERVERPROC &s, int port, const std::string &name, const std::string &map,
               std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"--port=" + std::to_string(port), "--http=" + std::to_string(port + 1),
                                     "--name=" + name, "--fleet=" + pg->uri(), "--fleet-beat=0.5", "--fleet-stale=3"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(map);
    s.launch(args);
    ASSERT_TRUE(awaitlistening(port, 10000)) << s.err();
}

json::value getjson(int port, const std::string &path)
{
    const HTTPRESULT r = httprequest(port, "GET", path);
    boost::system::error_code ec;
    json::value v = json::parse(r.body, ec);
    return ec ? json::value() : v;
}

// Polls `ok` every 100 ms for up to `seconds`.
bool within(double seconds, const std::function<bool()> &ok)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (ok())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return ok();
}

// name -> players of /games on the web port `http`.
std::map<std::string, int64_t> games(int http)
{
    std::map<std::string, int64_t> list;
    json::value v = getjson(http, "/games");
    if (v.is_object() && v.as_object().contains("games"))
        for (const json::value &g : v.at("games").as_array())
            list[std::string(g.at("name").as_string())] = g.at("players").as_int64();
    return list;
}

// A web player: JOIN `name` (with `key` when given); YOU's number and reason.
struct WEBPLAYER {
    WSCLIENT c;
    int num = -2;
    std::string reason;
};
void join(WEBPLAYER &p, int http, const std::string &name, const std::string &key)
{
    ASSERT_TRUE(wsconnect(p.c, http)) << p.c.error;
    std::vector<unsigned char> msg = {2};
    msg.insert(msg.end(), name.begin(), name.end());
    if (!key.empty()) {
        msg.push_back(0);
        msg.insert(msg.end(), key.begin(), key.end());
    }
    ASSERT_TRUE(wssend(p.c, msg));
    while (wsread(p.c, msg))
        if (!msg.empty() && msg[0] == 4 && msg.size() >= 6) {
            p.num = (int32_t)(msg[1] | msg[2] << 8 | msg[3] << 16 | (uint32_t)msg[4] << 24);
            const size_t at = 6 + msg[5];
            p.reason = at < msg.size() ? std::string(msg.begin() + (long)at + 1, msg.end()) : "";
            return;
        }
    FAIL() << "no YOU";
}

double metric(const std::string &name)
{
    const std::string text = httprequest(3141, "GET", "/metrics").body;
    const size_t at = text.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + name.size() + 2);
}

bool hasname(const json::value &board, const char *list, const std::string &name)
{
    if (!board.is_object())
        return false;
    for (const json::value &t : board.at(list).as_array())
        if (t.at("name").as_string() == name)
            return true;
    return false;
}

TEST_F(Fleet, EveryGameListsAllThreeHearsTheOthersRoundsAndDropsAKilledOne)
{
    SERVERPROC a, b, c;
    startgame(a, 3140, "alpha", mapspath("valley.map"), {"--round=3s", "--intermission=1"});
    startgame(b, 4140, "beta", mapspath("meadow.map"), {"--round=3s", "--intermission=1"});
    startgame(c, 5140, "gamma", tempfile(maptext(RESTTYPES, {"2222", "2222"}, "0,0 1,1")));
    KCLIENT ann;
    connectandlogin(&ann, "ann");
    WEBPLAYER bob, cy;
    join(bob, 4141, "bob", "bobs-key");
    join(cy, 4141, "cy", "");
    ASSERT_EQ(bob.num, 0);
    const std::map<std::string, int64_t> want = {{"alpha", 1}, {"beta", 2}, {"gamma", 0}};
    for (int http : {3141, 4141, 5141})
        EXPECT_TRUE(within(10, [&] { return games(http) == want; })) << "on port " << http;
    // bob played with a key, ann and cy without: their totals are apart.
    json::value board;
    EXPECT_TRUE(within(10, [&] {
        board = getjson(5141, "/leaderboard");
        return hasname(board, "top", "bob") && hasname(board, "unkeyed", "ann") && hasname(board, "unkeyed", "cy");
    })) << json::serialize(board);
    EXPECT_FALSE(hasname(board, "top", "ann"));
    kill(b.pid, SIGKILL);
    EXPECT_TRUE(within(20, [&] { return games(3141).size() == 2 && games(5141).size() == 2; }));
}

TEST_F(Fleet, ANameOwnedOnOneGameIsRefusedOnAnotherWithAnotherKey)
{
    SERVERPROC a, c;
    startgame(a, 3140, "alpha", mapspath("valley.map"));
    startgame(c, 5140, "gamma", mapspath("meadow.map"));
    ASSERT_TRUE(within(10, [] { return games(3141).size() == 2 && games(5141).size() == 2; }));
    WEBPLAYER first, thief, owner;
    join(first, 3141, "carol", "carols-key");
    EXPECT_GE(first.num, 0);
    join(thief, 5141, "carol", "another-key");
    EXPECT_EQ(thief.num, -1);
    EXPECT_EQ(thief.reason, "that name belongs to another player");
    join(owner, 5141, "carol", "carols-key");
    EXPECT_GE(owner.num, 0);
    EXPECT_EQ(owner.reason, "");
}

TEST_F(Fleet, ARoundEndedWhileTheDatabaseIsAwayArrivesOnce)
{
    SERVERPROC a;
    startgame(a, 3140, "outage", mapspath("valley.map"), {"--round=4s", "--intermission=30"});
    PGLINK db;
    ASSERT_TRUE(db.connect(pg->uri(), PGBOUNDS()));
    auto rounds = [&db] {
        PGRESULT r;
        return db.exec("SELECT count(*) FROM kindler_rounds WHERE game = 'outage'", {}, &r) ? r.number(0, 0) : -1;
    };
    ASSERT_TRUE(within(10, [&] { return games(3141).count("outage") == 1; }));
    KCLIENT ann;
    connectandlogin(&ann, "ann");
    ASSERT_TRUE(pg->stop());
    // The round ends meanwhile: its result waits, the game goes on.
    EXPECT_TRUE(within(8, [] { return metric("kindler_fleet_results_waiting") == 1; }));
    EXPECT_EQ(metric("kindler_fleet_up"), 0);
    EXPECT_EQ(httprequest(3141, "GET", "/healthz").status, 200);
    ASSERT_TRUE(pg->start());
    ASSERT_TRUE(db.connect(pg->uri(), PGBOUNDS()));
    EXPECT_TRUE(within(10, [&] { return rounds() == 1; }));
    EXPECT_TRUE(within(5, [] { return metric("kindler_fleet_results_waiting") == 0; }));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(rounds(), 1);
    // The database's outage is one line on the log, and the game went on.
    const std::string err = a.err();
    const size_t told = err.find("(the game goes on)");
    EXPECT_NE(told, std::string::npos) << err;
    EXPECT_EQ(told, err.rfind("(the game goes on)")) << err;
    // A result sent again (a retry after a lost acknowledgement) counts once.
    ROUNDRESULT r{7, "valley", 100, 104, "limit", {{"ann", 3, false, 0}}};
    EXPECT_TRUE(sendresult(db, "twice", r));
    EXPECT_TRUE(sendresult(db, "twice", r));
    PGRESULT n;
    ASSERT_TRUE(db.exec("SELECT count(*) FROM kindler_results WHERE game = 'twice'", {}, &n));
    EXPECT_EQ(n.number(0, 0), 1);
}

// The fleet thread's calls wait for a tick to end, so that they fall in the
// pause between two ticks: with nothing listening, no wait between two
// attempts and every failure told, it tries once a tick, not without end.
TEST(FleetThread, TriesTheDatabaseOnceATick)
{
    GAME g;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(fcntl(out[0], F_SETFL, O_NONBLOCK), 0);
    FLEET f;
    f.game = &g;
    f.uri = "postgresql://kindler@127.0.0.1:1/postgres";
    f.retry = 0;
    f.logevery = 0;
    f.tickwait = 3600;
    f.log = fdopen(out[1], "w");
    ASSERT_TRUE(startfleet(f));
    int ticks = 0, lines = 0;
    auto readlines = [&](int ms) {
        char buf[4096];
        pollfd p = {out[0], POLLIN, 0};
        if (poll(&p, 1, ms) <= 0)
            return;
        const ssize_t n = read(out[0], buf, sizeof buf);
        lines += n > 0 ? (int)std::count(buf, buf + n, '\n') : 0;
    };
    // A tick every 50 ms for a second; a tick that ends while the thread is
    // still busy with the last attempt is not waited for again.
    for (; ticks < 20; ticks++) {
        lobbytickended(*g.lobby);
        const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        while (std::chrono::steady_clock::now() < next)
            readlines(10);
    }
    stopfleet(f);
    fclose(f.log);
    for (int before = -1; before != lines;) {
        before = lines;
        readlines(0);
    }
    close(out[0]);
    EXPECT_GE(lines, 1);
    EXPECT_LE(lines, ticks);
}

} // namespace
