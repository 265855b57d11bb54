// Games as records: two games live in one process, each ticking and served
// to its own clients on its own port (and its own web port), keeping its
// own players, counters and metrics, and each is dropped cleanly.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <thread>

#include "engine/buildworld.h"
#include "app/loop.h"
#include "app/options.h"
#include "game/loadmap.h"
#include "support.h"
#include "tcp/listener.h"
#include "web/web.h"
#include "webclient.h"

namespace {

// A game running as the server runs one: its simulation loop and its
// listener on a free port of its own; with `web`, its metrics and its web
// endpoint on another free port.
struct RUNNINGGAME {
    GAME game;
    TCPPORT listener;
    int port = 0, webport = 0;
    std::thread ticker, net;

    explicit RUNNINGGAME(const std::string &text, bool web = false)
    {
        MAPFILE f = readmaptext(text);
        makemap(f, game.world, nullptr);
        game.players.s_points = f.s_points;
        listener.game = &game;
        if (web) {
            startmetrics(game.metrics, game.players, game.rounds);
            tcpmetrics(listener);
            startweb(game, WEBSETTINGS(), 0, true, &webport);
        }
        listener.sockfd = setupnet(0);
        sockaddr_in at{};
        socklen_t len = sizeof at;
        getsockname(listener.sockfd, (sockaddr *)&at, &len);
        port = ntohs(at.sin_port);
        ticker = std::thread([this] { mainloop(game); });
        net = std::thread([this] { netloop(&listener); });
    }
    // Stops the loops and waits for the connections to end.
    void stop()
    {
        if (!ticker.joinable())
            return;
        stopgame(game);
        stoplistener(listener);
        ticker.join();
        net.join();
        close(listener.sockfd);
        while (listener.connections.load() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Stopped, the game may go (not one with a web endpoint: that lives as
    // long as the process, as the server's does).
    ~RUNNINGGAME() { stop(); }
};

// The value of the metric line that begins with `name` (labels included) in
// the text of /metrics, or -1 when there is none.
double metric(const std::string &text, const std::string &name)
{
    size_t at = text.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::stod(text.substr(at + name.size() + 2));
}

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

TEST(Games, TwoGamesKeepTheirOwnTicksPlayersCountersAndMetrics)
{
    // Never dropped: their web endpoints live as long as the process.
    RUNNINGGAME &a = *new RUNNINGGAME(twobythree("alpha"), true);
    RUNNINGGAME &b = *new RUNNINGGAME(twobythree("beta"), true);
    ASSERT_GT(a.webport, 0);
    ASSERT_GT(b.webport, 0);
    ASSERT_NE(a.webport, b.webport);

    KCLIENT ka;
    ASSERT_EQ(0, kcconnect(&ka, "127.0.0.1", a.port)) << ka.error;
    int na = -1;
    ASSERT_EQ(0, kclogin(&ka, "ann", &na)) << ka.error;
    std::vector<UPDATEMAP> ma;
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(6, kcgetmap(&ka, &ma)) << ka.error;
    for (RUNNINGGAME *g : {&a, &b}) // both tick: each web port says so
        for (int tries = 0; tries < 100 && httprequest(g->webport, "GET", "/healthz").status != 200; tries++)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));

    const std::string texta = httprequest(a.webport, "GET", "/metrics").body;
    const std::string textb = httprequest(b.webport, "GET", "/metrics").body;
    EXPECT_EQ(1, metric(texta, "kindler_players_present")) << texta;
    EXPECT_EQ(0, metric(textb, "kindler_players_present")) << textb;
    EXPECT_EQ(1, metric(texta, "kindler_connections{protocol=\"tcp\"}"));
    EXPECT_EQ(0, metric(textb, "kindler_connections{protocol=\"tcp\"}"));
    // An answer's bytes are counted once its send returns, which may be
    // after the client has read it: scrape again until the last is counted.
    double tcpbytes = metric(texta, "kindler_payload_bytes_total{protocol=\"tcp\"}");
    for (int tries = 0; tries < 100 && tcpbytes != (double)a.listener.bytessent.load(); tries++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        tcpbytes = metric(httprequest(a.webport, "GET", "/metrics").body, "kindler_payload_bytes_total{protocol=\"tcp\"}");
    }
    EXPECT_EQ((double)a.listener.bytessent.load(), tcpbytes);
    EXPECT_GE(a.listener.bytessent.load(), 3u * 7 * UPDATEMAP_SIZE);
    EXPECT_EQ(0, metric(textb, "kindler_payload_bytes_total{protocol=\"tcp\"}"));
    EXPECT_EQ(0u, b.listener.bytessent.load());
    EXPECT_GT(metric(texta, "kindler_ticks_total"), 0);
    EXPECT_GT(metric(textb, "kindler_ticks_total"), 0);
    kcclose(&ka);

    // One game stops ticking; the other ticks on.
    a.stop();
    auto ticks = [](RUNNINGGAME &g) { return metric(httprequest(g.webport, "GET", "/metrics").body, "kindler_ticks_total"); };
    const double ticksa = ticks(a), ticksb = ticks(b);
    double nowb = ticksb;
    for (int tries = 0; tries < 100 && nowb < ticksb + 3; tries++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        nowb = ticks(b);
    }
    EXPECT_GE(nowb, ticksb + 3);
    EXPECT_EQ(ticksa, ticks(a));
    b.stop();
}
