// Rounds: a round ends at its limit, and by burn-out only once a cell
// burnt and nothing burnt for the quiet time; between rounds moves and fires
// are refused; then the players start again and the world equals a fresh
// load of the map, byte for byte; tied scores keep a fixed order. On the
// real server: the console line, ROUND after HELLO and at the round's end,
// and /leaderboard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/actions.h"
#include "decoder.h"
#include "game/exposure.h"
#include "game/loadmap.h"
#include "app/loop.h"
#include "tcp/mapanswer.h"
#include "game/roundtick.h"
#include "messages.h"
#include "support.h"
#include "webclient.h"

namespace {

double fakenow = 1000; // the rounds' clock in these tests
double fakeclock() { return fakenow; }

// g with meadow loaded and rounds of 60 s, 5 s between them, burn-out
// after 3 quiet seconds, on the fake clock.
void startgame(GAME &g, const std::string &map)
{
    ASSERT_EQ(loadmap(g, map.c_str()), 0);
    g.rounds.length = 60;
    g.rounds.intermission = 5;
    g.rounds.burnout = 3;
    g.rounds.console = false;
    g.rounds.clock = fakeclock;
    startrounds(g, map.c_str());
}

std::vector<unsigned char> allmap(GAME &g)
{
    MAPANSWERS answers;
    return *mapanswer(g, answers, true);
}

PLAYERINFO entry(GAME &g, int i)
{
    PLAYERINFO p{};
    readplayer(g.players, i, p);
    return p;
}

} // namespace

TEST(RoundEnd, AtItsLimitTheResultIsKeptThenPlayersStartAgainOnAFreshWorld)
{
    const std::string map = mapspath("meadow.map");
    GAME g, fresh;
    startgame(g, map);
    ASSERT_EQ(loadmap(fresh, map.c_str()), 0);
    const double start = fakenow;
    ACTOR ann, bob, cy, dee;
    joingame(g, ann, "ann");
    joingame(g, bob, "bob");
    joingame(g, cy, "cy");
    joingame(g, dee, "dee");
    for (int t = 0; t < 30; t++) {
        ASSERT_EQ(setfire(g, ann), ACTDONE);
        fakenow += 0.1;
        tickgame(g);
    }
    ASSERT_NE(allmap(g), allmap(fresh));
    const PLAYERINFO infire = entry(g, 0);
    doexposure(g, 0); // ann stands in her fire
    ASSERT_LT(entry(g, 0).health, infire.health);
    changeplayers(g.players, [](PLAYERINFO *list, int) {
        list[0].score = 7;
        list[0].health = 50;
        list[1].health = 0;
        list[2].score = 5;
        list[0].x = 2;
    });
    leavegame(g, cy);  // left with a score: in the result
    leavegame(g, dee); // left without: not
    const int turn = g.players.s_pointindex;

    fakenow = start + 59.9;
    tickgame(g);
    EXPECT_EQ(roundview(g.rounds).phase, ROUNDPLAYING);
    fakenow = start + 60;
    tickgame(g);
    ROUNDVIEW v = roundview(g.rounds);
    EXPECT_EQ(v.phase, ROUNDINTERMISSION);
    EXPECT_EQ(v.why, WHYLIMIT);
    EXPECT_EQ(setfire(g, ann), ACTREFUSED);
    EXPECT_EQ(moveplayer(g, ann, 0, 3, 3), ACTREFUSED);
    changeplayers(g.players, [&](PLAYERINFO *list, int) {
        list[0].x = infire.x; // back in the fire: nothing hurts between rounds
    });
    const int before = entry(g, 0).health;
    doexposure(g, 0);
    EXPECT_EQ(entry(g, 0).health, before);
    const LEADERBOARD b = readboard(*g.rounds.board, 10);
    ASSERT_TRUE(b.haslast);
    EXPECT_EQ(b.last.number, 1u);
    EXPECT_EQ(b.last.why, "limit");
    EXPECT_EQ(b.last.map, "meadow");
    ASSERT_EQ(b.last.players.size(), 3u);
    EXPECT_TRUE(b.last.players[0].name == "ann" && b.last.players[0].score == 7 && !b.last.players[0].died);
    EXPECT_TRUE(b.last.players[1].name == "cy" && b.last.players[1].score == 5);
    EXPECT_TRUE(b.last.players[2].name == "bob" && b.last.players[2].died);
    EXPECT_EQ(v.top.size(), 3u);

    fakenow += 5;
    tickgame(g);
    v = roundview(g.rounds);
    EXPECT_EQ(v.phase, ROUNDPLAYING);
    EXPECT_EQ(v.number, 2u);
    EXPECT_EQ(allmap(g), allmap(fresh));
    const auto &starts = g.players.s_points;
    for (int i : {0, 1}) {
        const PLAYERINFO p = entry(g, i);
        const MAP_VERTEX s = starts[(size_t)(turn + i) % starts.size()];
        EXPECT_TRUE(p.num == i && p.health == STARTHEALTH && p.score == 0 && p.x == s.x && p.y == s.y) << i;
    }
    EXPECT_STREQ(entry(g, 1).name, "bob");
    EXPECT_EQ(entry(g, 2).score, 0); // left: no score carried into later results
    EXPECT_EQ(entry(g, 2).num, -1);
    EXPECT_EQ(setfire(g, ann), ACTDONE);
}

TEST(RoundEnd, ByBurnOutOnlyOnceACellBurntAndNothingBurntForTheQuietTime)
{
    GAME g;
    startgame(g, mapspath("meadow.map"));
    const double start = fakenow;
    ACTOR a;
    joingame(g, a, "ann");
    ASSERT_EQ(setfire(g, a), ACTDONE); // a fire on a cell that never catches
    for (double t = 0; t < 50; t += 1) {
        fakenow = start + t;
        roundtick(g, 0);
    }
    EXPECT_EQ(roundview(g.rounds).phase, ROUNDPLAYING); // the clock starts at a burning cell, not a fire
    fakenow = start + 50;
    roundtick(g, 3); // the first tick that burnt
    fakenow = start + 52.5;
    roundtick(g, 7); // the last tick that burnt
    fakenow = start + 55.4;
    roundtick(g, 0);
    EXPECT_EQ(roundview(g.rounds).phase, ROUNDPLAYING);
    fakenow = start + 55.5;
    roundtick(g, 0);
    const ROUNDVIEW v = roundview(g.rounds);
    EXPECT_EQ(v.phase, ROUNDINTERMISSION);
    EXPECT_EQ(v.why, WHYBURNTOUT);
    EXPECT_EQ(readboard(*g.rounds.board, 10).last.why, "burnt out");

    fakenow += 5;
    roundtick(g, 0); // round 2: fires set, nothing burnt, so only its limit ends it
    const double second = fakenow;
    ASSERT_EQ(setfire(g, a), ACTDONE);
    fakenow = second + 59.9;
    roundtick(g, 0);
    EXPECT_EQ(roundview(g.rounds).phase, ROUNDPLAYING);
    fakenow = second + 60;
    roundtick(g, 0);
    EXPECT_EQ(roundview(g.rounds).why, WHYLIMIT);
    EXPECT_EQ(readboard(*g.rounds.board, 10).rounds, 2u);
}

TEST(RoundEnd, TiedScoresRankByPlayerNumberInTheRoundAndByNameInTheTotals)
{
    GAME g;
    startgame(g, mapspath("meadow.map"));
    const double start = fakenow;
    ACTOR zed, amy, bob;
    ASSERT_EQ(joingame(g, zed, "zed"), 0);
    ASSERT_EQ(joingame(g, amy, "amy"), 1);
    ASSERT_EQ(joingame(g, bob, "bob"), 2);
    changeplayers(g.players, [](PLAYERINFO *list, int) {
        list[0].score = 4;
        list[1].score = 4;
        list[2].score = 9;
    });
    fakenow = start + 60;
    tickgame(g);
    ASSERT_EQ(roundview(g.rounds).phase, ROUNDINTERMISSION);
    const LEADERBOARD b = readboard(*g.rounds.board, 10);
    std::vector<std::string> round, totals;
    for (const auto &e : b.last.players)
        round.push_back(e.name);
    for (const auto &t : b.unkeyed) // joined without a key
        totals.push_back(t.name);
    EXPECT_TRUE(b.totals.empty());
    EXPECT_EQ(round, (std::vector<std::string>{"bob", "zed", "amy"}));
    EXPECT_EQ(totals, (std::vector<std::string>{"bob", "amy", "zed"}));
}

TEST(RoundServer, TheConsolePagesAndLeaderboardSeeRoundsEnd)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--round=1s", "--intermission=1", "--burnout=1", mapspath("meadow.map")}));
    ASSERT_TRUE(awaitlistening(3141, 5000)) << server.err();
    WSCLIENT ws;
    ASSERT_TRUE(wsconnect(ws, 3141)) << ws.error;
    DECODEDSTREAM page;
    std::vector<int> types;
    std::vector<unsigned char> m;
    while (page.round.phase != ROUNDINTERMISSION && types.size() < 100 && wsread(ws, m)) {
        ASSERT_EQ(applymessage(page, m.data(), m.size()), "");
        types.push_back(m[0]);
    }
    ASSERT_GE(types.size(), 3u);
    EXPECT_EQ(types[0], MSGHELLO);
    EXPECT_EQ(types[1], MSGROUND);
    EXPECT_EQ(page.rounds, 2); // the round at HELLO, then its end
    EXPECT_EQ(page.round.number, 1u);
    EXPECT_EQ(page.round.why, (unsigned)WHYLIMIT);
    EXPECT_LE(page.round.left, 1000u);
    const HTTPRESULT r = httprequest(3141, "GET", "/leaderboard");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.header.at("content-type"), "application/json");
    EXPECT_EQ(r.body.rfind("{\"rounds\":1,\"top\":[],\"unkeyed\":[],\"last\":{\"number\":1,\"game\":\"meadow\",\"map\":\"meadow\",\"started\":", 0), 0u)
        << r.body;
    EXPECT_NE(r.body.find("\"why\":\"limit\",\"top\":[]},\"round\":{\"number\":1,\"phase\":\"intermission\""),
              std::string::npos)
        << r.body;
    EXPECT_NE(server.out().find("\nRound 1 ended (limit) after 1 s, 0 players\n"), std::string::npos) << server.out();
}
