// Games as records: two games live in one process, each ticking and served
// to its own clients on its own port, and each is dropped cleanly.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <thread>

#include "tcp/listener.h"
#include "engine/buildworld.h"
#include "game/loadmap.h"
#include "app/loop.h"
#include "support.h"

namespace {

// A game running as the server runs one: its simulation loop and its
// listener on a free port of its own.
struct RUNNINGGAME {
    GAME game;
    TCPPORT listener;
    int port = 0;
    std::thread ticker, net;

    explicit RUNNINGGAME(const std::string &text)
    {
        MAPFILE f = readmaptext(text);
        makemap(f, game.world, nullptr);
        game.players.s_points = f.s_points;
        listener.game = &game;
        listener.sockfd = setupnet(0);
        sockaddr_in at{};
        socklen_t len = sizeof at;
        getsockname(listener.sockfd, (sockaddr *)&at, &len);
        port = ntohs(at.sin_port);
        ticker = std::thread([this] { mainloop(game); });
        net = std::thread([this] { netloop(&listener); });
    }
    // Stops the loops, waits for the connections to end, then the game may go.
    ~RUNNINGGAME()
    {
        stopgame(game);
        stoplistener(listener);
        ticker.join();
        net.join();
        close(listener.sockfd);
        while (listener.connections.load() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
};

// A 2 x 3 meadow named `name`, with two start positions.
std::string twobythree(const char *name)
{
    std::string text = maptext("<type name=outside num=0> temp=20 cocon=0.1 calperc=1 ignitionpoint=900 </type>\n"
                               "<type name=grass num=1> temp=20 cocon=0.4 calperc=2 ignitionpoint=60 fuellevel=3 "
                               "burnspeed=1 calperf=400 </type>",
                               {"11", "11", "11"}, "0,0 1,2");
    return text.replace(text.find("\"test\""), 6, std::string("\"") + name + "\"");
}

} // namespace

TEST(Games, TwoGamesTickAndServeTheirOwnClientsAtOnce)
{
    auto a = std::make_unique<RUNNINGGAME>(twobythree("alpha"));
    auto b = std::make_unique<RUNNINGGAME>(twobythree("beta"));
    ASSERT_GT(a->listener.sockfd, 0);
    ASSERT_GT(b->listener.sockfd, 0);

    KCLIENT ka, kb;
    ASSERT_EQ(0, kcconnect(&ka, "127.0.0.1", a->port)) << ka.error;
    ASSERT_EQ(0, kcconnect(&kb, "127.0.0.1", b->port)) << kb.error;
    KCMAPINFO ia, ib;
    ASSERT_EQ(0, kcmapinfo(&ka, &ia)) << ka.error;
    ASSERT_EQ(0, kcmapinfo(&kb, &ib)) << kb.error;
    EXPECT_EQ("alpha\"", ia.name);
    EXPECT_EQ("beta\"", ib.name);

    // Each game numbers its own players and keeps its own fires.
    int na = -1, nb = -1;
    ASSERT_EQ(0, kclogin(&ka, "ann", &na)) << ka.error;
    ASSERT_EQ(0, kclogin(&kb, "bob", &nb)) << kb.error;
    EXPECT_EQ(0, na);
    EXPECT_EQ(0, nb);
    for (int i = 0; i < 5; i++)
        ASSERT_EQ(0, kcsetfire(&ka)) << ka.error;
    std::vector<UPDATEMAP> ma, mb;
    ASSERT_EQ(6, kcgetmap(&ka, &ma)) << ka.error;
    ASSERT_EQ(6, kcgetmap(&kb, &mb)) << kb.error;
    EXPECT_GT(ma[0].totalcal, mb[0].totalcal) << "the fires of game a heat game a only";
    EXPECT_EQ(mb[0].totalcal, mb[5].totalcal) << "game b saw no fire";

    // Both tick: the heat of a's fire spreads to the cell beside it.
    const long double before = ma[1].totalcal;
    for (int tries = 0; tries < 100 && ma[1].totalcal == before; tries++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(6, kcgetmap(&ka, &ma)) << ka.error;
    }
    EXPECT_GT(ma[1].totalcal, before);

    std::vector<PLAYERINFO> pa, pb;
    ASSERT_EQ(1, kcgetplayerinfo(&ka, &pa)) << ka.error;
    ASSERT_EQ(1, kcgetplayerinfo(&kb, &pb)) << kb.error;
    EXPECT_STREQ("ann", pa[0].name);
    EXPECT_STREQ("bob", pb[0].name);
    kcclose(&ka);
    kcclose(&kb);
    a.reset(); // one game goes; the other plays on
    KCLIENT again;
    ASSERT_EQ(0, kcconnect(&again, "127.0.0.1", b->port)) << again.error;
    ASSERT_EQ(1, kcgetplayerinfo(&again, &pb)) << again.error;
    EXPECT_EQ(-1, pb[0].num) << "bob left when his connection closed";
    kcclose(&again);
}
