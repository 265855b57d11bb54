// Resuming a web player against the real server: the same player back on a
// new connection after a drop, a connection that lost its player to
// another's RESUME, an unknown or expired token, a player not resumed
// leaving after its keep time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "decoder.h"
#include "kindlerclient.h"
#include "support.h"
#include "webclient.h"

namespace {

// Floor that conducts nothing (a fire's cell stays at 820 K: 43 health an
// exposure), players starting at (1, 1) and (5, 3).
std::string arena()
{
    return maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 </type>\n"
                   "<type name=floor num=1> temp=20 cocon=0 calperc=0.125 ignitionpoint=9000 </type>\n",
                   std::vector<std::string>(6, std::string(8, '1')), "1,1 5,3");
}

struct PAGE {
    WSCLIENT ws;
    STREAMCLIENT s;
    PAGE() { EXPECT_TRUE(wsconnect(ws, WEBPORT)) << ws.error; }
    bool send(std::vector<unsigned char> m) { return wssend(ws, m); }
    // Reads until `done` (at once when it holds); false on a failure or
    // after 200 messages.
    bool until(const std::function<bool()> &done)
    {
        std::vector<unsigned char> m;
        if (done())
            return true;
        for (int i = 0; i < 200; i++)
            if (!wsread(ws, m) || applymessage(s, m.data(), m.size()) != "")
                return false;
            else if (done())
                return true;
        return false;
    }
    // Sends type byte + text and waits for the YOU it answers; its number.
    int ask(unsigned char type, const std::string &text)
    {
        std::vector<unsigned char> m(1 + text.size(), type);
        std::copy(text.begin(), text.end(), m.begin() + 1);
        s.answered = false;
        return send(m) && until([&] { return s.answered; }) ? s.you : -2;
    }
    const CLIENTPLAYER *player(int num)
    {
        for (const CLIENTPLAYER &p : s.players)
            if (p.num == num)
                return &p;
        return nullptr;
    }
};

const unsigned char JOIN = 2, RESUME = 5;

std::vector<PLAYERINFO> tcpplayers()
{
    KCLIENT kc;
    connectclient(&kc);
    std::vector<PLAYERINFO> list;
    kcgetplayerinfo(&kc, &list);
    kcclose(&kc);
    return list;
}

} // namespace

TEST(WebResume, ADroppedPlayerComesBackWithItsNumberPlaceHealthAndScore)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({tempfile(arena())}));
    ASSERT_TRUE(awaitlistening(WEBPORT, 5000));
    CLIENTPLAYER was;
    std::string token;
    {
        PAGE a;
        ASSERT_EQ(a.ask(JOIN, "alice"), 0);
        token = a.s.token;
        ASSERT_EQ(token.size(), 32u);
        // Its fire at (1, 1), then a step south, out of the heat; a TCP
        // player standing in the fire scores it 43.
        ASSERT_TRUE(a.send({4}) && a.send({3, 0, 1}));
        KCLIENT kc;
        connectclient(&kc);
        int tcp;
        ASSERT_EQ(kclogin(&kc, "tcp", &tcp), 0);
        ASSERT_EQ(kcmove(&kc, tcp, 1, 1), 0);
        ASSERT_EQ(kcmove(&kc, tcp, 5, 3), 0);
        kcclose(&kc);
        ASSERT_TRUE(a.until([&] { return a.player(0) && a.player(0)->y == 2 && a.player(0)->score == 43; }));
        was = *a.player(0);
        // Another connection takes it over: this one can act for it no more.
        PAGE t;
        ASSERT_EQ(t.ask(RESUME, token), 0);
        EXPECT_EQ(t.s.token, token);
        a.s.answered = false;
        ASSERT_TRUE(a.send({3, 1, 0}));
        ASSERT_TRUE(a.until([&] { return a.s.answered; }));
        EXPECT_EQ(a.s.you, -1);
    } // both connections drop
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<PLAYERINFO> list = tcpplayers();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].num, 0) << "kept, present";
    EXPECT_EQ(list[0].x, 1) << "the move after the takeover was refused";
    PAGE b;
    ASSERT_EQ(b.ask(RESUME, token), 0);
    EXPECT_EQ(b.s.token, token);
    ASSERT_TRUE(b.until([&] { return b.player(0) != nullptr; }));
    EXPECT_EQ(*b.player(0), was);
    ASSERT_TRUE(b.send({3, 1, 0}));
    ASSERT_TRUE(b.until([&] { return b.player(0)->x == 2; }));
}

TEST(WebResume, UnknownAndExpiredTokensGetMinusOneAndAPlayerNotResumedLeaves)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--resume-keep=1", tempfile(arena())}));
    ASSERT_TRUE(awaitlistening(WEBPORT, 5000));
    std::string token;
    {
        PAGE a;
        ASSERT_EQ(a.ask(JOIN, "bob"), 0);
        token = a.s.token;
    }
    PAGE b;
    EXPECT_EQ(b.ask(RESUME, std::string(32, '0')), -1);
    EXPECT_EQ(b.s.token, "");
    EXPECT_EQ(tcpplayers().at(0).num, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(tcpplayers().at(0).num, -1) << "left after the keep time";
    EXPECT_EQ(b.ask(RESUME, token), -1);
    const std::string m = httprequest(WEBPORT, "GET", "/metrics").body;
    EXPECT_NE(m.find("kindler_resumes_total{result=\"unknown\"} 2\n"), std::string::npos) << m;
}
