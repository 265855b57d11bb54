// The protocol against the real kindler-server on port 3140: the shipped
// example map, generated maps, and a whole small game in which one
// player's fire hurts another and scores.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kindlerclient.h"
#include "support.h"

namespace {

void startserver(SERVERPROC &server, const std::string &mappath)
{
    ASSERT_TRUE(server.start({mappath}));
    ASSERT_TRUE(server.running()) << server.err();
}

// Every cell 1 cal/K... at temp K, nothing conducts or burns: the world
// stands still, so every heat on the wire is exact.
const std::string STILLTYPES =
    "<type name=outside num=0> temp=20 cocon=0 calperc=1 ignitionpoint=9000 fuellevel=0 burnspeed=0 calperf=0 </type>\n"
    "<type name=tinder num=1> temp=380 cocon=0 calperc=0.25 ignitionpoint=9000 fuellevel=0 burnspeed=0 calperf=0 </type>\n"
    "<type name=stone num=2> temp=20 cocon=0 calperc=4 ignitionpoint=9000 fuellevel=0 burnspeed=0 calperf=0 block </type>";

} // namespace

TEST(EndToEnd, ExampleMapAnswersItsInformation)
{
    SERVERPROC server;
    ASSERT_NO_FATAL_FAILURE(startserver(server, mapspath("meadow.map")));
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    ASSERT_EQ(kcsend(&kc, "getmapinfo;"), 0);
    std::string answer(13, '\0');
    ASSERT_EQ(kcrecv(&kc, answer.data(), answer.size()), 0) << kc.error;
    EXPECT_EQ(answer, "4 3 \"meadow\"\"");
    std::string v;
    ASSERT_EQ(kcversion(&kc, &v), 0) << kc.error;
    EXPECT_EQ(v, "0.100000");
    ASSERT_EQ(kcprotocolversion(&kc, &v), 0) << kc.error;
    EXPECT_EQ(v, "0.100000");
    KCMAPINFO info;
    ASSERT_EQ(kcmapinfo(&kc, &info), 0) << kc.error;
    EXPECT_EQ(info.xsize, 4);
    EXPECT_EQ(info.ysize, 3);
    EXPECT_EQ(info.name, "meadow\"");
    std::vector<FIRSTMAP> cells;
    FIRSTMAP closing;
    ASSERT_EQ(kcgetallmap(&kc, &cells, &closing), 12) << kc.error;
    // (1,1) is grass: 20 K at 2 cal/K before any tick has warmed it much.
    EXPECT_EQ(cells[4].neto.x, 1);
    EXPECT_EQ(cells[4].neto.y, 1);
    EXPECT_EQ(cells[4].calperc, 2.0L);
    EXPECT_EQ(cells[4].ignitionpoint, 250);
    EXPECT_EQ(cells[4].calperf, 400.0L);
    EXPECT_EQ(cells[0].block, 1);
    EXPECT_EQ(closing.neto.type, NET_END);
    EXPECT_EQ(closing.neto.x, 3);
    EXPECT_EQ(closing.neto.y, 2);
    EXPECT_EQ(kcclose(&kc), 0);
}

TEST(EndToEnd, LoginListMoveAndFireOnTheExampleMap)
{
    SERVERPROC server;
    ASSERT_NO_FATAL_FAILURE(startserver(server, mapspath("meadow.map")));
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    int a = -2, b = -2;
    ASSERT_EQ(kclogin(&kc, "alice", &a), 0) << kc.error;
    ASSERT_EQ(kclogin(&kc, "bob", &b), 0) << kc.error;
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    std::vector<PLAYERINFO> list;
    ASSERT_EQ(kcgetplayerinfo(&kc, &list), 2) << kc.error;
    EXPECT_STREQ(list[0].name, "alice");
    EXPECT_EQ(list[0].x, 1);
    EXPECT_EQ(list[0].y, 1);
    EXPECT_STREQ(list[1].name, "bob");
    EXPECT_EQ(list[1].x, 2);
    EXPECT_EQ(list[1].y, 1);
    // The connection plays as bob now; move bob onto the rock at (3,0).
    ASSERT_EQ(kcmove(&kc, 1, 3, 0), 0) << kc.error;
    ASSERT_EQ(kcgetplayerinfo(&kc, &list), 2) << kc.error;
    EXPECT_EQ(list[1].x, 3);
    EXPECT_EQ(list[1].y, 0);
    // The rock at (3,0) holds 60 calories and barely conducts; a fire puts
    // 100 more into it at once.
    std::vector<UPDATEMAP> before, after;
    ASSERT_EQ(kcgetmap(&kc, &before), 12) << kc.error;
    ASSERT_EQ(kcsetfire(&kc), 0);
    ASSERT_EQ(kcgetmap(&kc, &after), 12) << kc.error;
    size_t rock = 3 * 3 + 0;
    EXPECT_EQ(after[rock].neto.x, 3);
    EXPECT_EQ(after[rock].neto.y, 0);
    EXPECT_GT(after[rock].totalcal, before[rock].totalcal + 90);
    EXPECT_EQ(kcclose(&kc), 0);
}

TEST(EndToEnd, FireOnAStillMapIsExactlyAHundredCalories)
{
    std::string path = tempfile(maptext(STILLTYPES, {"12", "21"}, "1,0 0,0"));
    SERVERPROC server;
    ASSERT_NO_FATAL_FAILURE(startserver(server, path));
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    int num = -2;
    ASSERT_EQ(kclogin(&kc, "a", &num), 0) << kc.error;
    ASSERT_EQ(num, 0); // at (1,0), stone: 80 calories
    std::vector<UPDATEMAP> cells;
    UPDATEMAP closing;
    ASSERT_EQ(kcsetfire(&kc), 0);
    ASSERT_EQ(kcsetfire(&kc), 0);
    ASSERT_EQ(kcgetmap(&kc, &cells, &closing), 4) << kc.error;
    EXPECT_EQ(cells[0].totalcal, 95.0L);  // (0,0) tinder
    EXPECT_EQ(cells[1].totalcal, 80.0L);  // (0,1) stone
    EXPECT_EQ(cells[2].totalcal, 280.0L); // (1,0) stone + two fires
    EXPECT_EQ(cells[3].totalcal, 95.0L);  // (1,1) tinder
    EXPECT_EQ(closing.neto.type, NET_END);
    EXPECT_EQ(closing.totalcal, 95.0L);
    unlink(path.c_str());
}

TEST(EndToEnd, OnePlayersFireHurtsAnotherAndScores)
{
    // Tinder holds 95 calories at 380 K; a fire's 100 calories make it
    // 780 K, so a player on it loses (780 - 383) / 10 = 39 per command.
    std::string path = tempfile(maptext(STILLTYPES, {"11"}, "1,0 0,0"));
    SERVERPROC server;
    ASSERT_NO_FATAL_FAILURE(startserver(server, path));
    KCLIENT arsonist, victim;
    ASSERT_NO_FATAL_FAILURE(connectclient(&arsonist));
    ASSERT_NO_FATAL_FAILURE(connectclient(&victim));
    int a = -2, v = -2;
    ASSERT_EQ(kclogin(&arsonist, "arsonist", &a), 0) << arsonist.error;
    ASSERT_EQ(kclogin(&victim, "victim", &v), 0) << victim.error;
    ASSERT_EQ(a, 0); // at (1,0)
    ASSERT_EQ(v, 1); // at (0,0)
    ASSERT_EQ(kcsetfire(&arsonist), 0);
    std::string text;
    ASSERT_EQ(kcversion(&arsonist, &text), 0) << arsonist.error; // the fire is in
    // The victim walks into the fire. The exposure step runs once before
    // the next command is read, so getplayerinfo's answer shows one hit.
    ASSERT_EQ(kcmove(&victim, v, 1, 0), 0) << victim.error;
    std::vector<PLAYERINFO> list;
    ASSERT_EQ(kcgetplayerinfo(&victim, &list), 2) << victim.error;
    EXPECT_EQ(list[1].health, 61);
    EXPECT_EQ(list[0].score, 39);
    EXPECT_EQ(list[1].score, 0);
    // Two more commands, two more hits; the third leaves it below zero and
    // later commands change nothing.
    ASSERT_EQ(kcversion(&victim, &text), 0);
    ASSERT_EQ(kcgetplayerinfo(&victim, &list), 2) << victim.error;
    EXPECT_EQ(list[1].health, -17);
    EXPECT_EQ(list[0].score, 117);
    ASSERT_EQ(kcgetplayerinfo(&victim, &list), 2) << victim.error;
    EXPECT_EQ(list[1].health, -17);
    EXPECT_EQ(list[0].score, 117);
    // A dead player can neither move nor light a fire.
    ASSERT_EQ(kcmove(&victim, v, 0, 0), 0);
    ASSERT_EQ(kcgetplayerinfo(&victim, &list), 2) << victim.error;
    EXPECT_EQ(list[1].x, 1);
    // When the victim leaves, the list still shows it, with num -1.
    EXPECT_EQ(kcclose(&victim), 0);
    bool left = false;
    for (int i = 0; i < 100 && !left; i++) {
        ASSERT_EQ(kcgetplayerinfo(&arsonist, &list), 2) << arsonist.error;
        left = list[1].num == -1;
        if (!left)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(left);
    EXPECT_STREQ(list[1].name, "victim");
    EXPECT_EQ(kcclose(&arsonist), 0);
    unlink(path.c_str());
}
