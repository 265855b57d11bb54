// Resuming a web player against the real server: the same player back on a
// new connection after a drop, a connection that lost its player to
// another's RESUME, unknown and expired tokens, a player not resumed
// leaving after its keep time; and after a restart of a server with a
// store.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
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

struct PAGE {
    WSCLIENT ws;
    DECODEDSTREAM s;
    PAGE() { EXPECT_TRUE(wsconnect(ws, WEBPORT)) << ws.error; }
    bool send(std::vector<unsigned char> m) { return wssend(ws, m); }
    // Reads until `done` holds; false on a failure or after 200 messages.
    bool until(const std::function<bool()> &done)
    {
        std::vector<unsigned char> m;
        for (int i = 0; i < 200 && !done(); i++)
            if (!wsread(ws, m) || applymessage(s, m.data(), m.size()) != "")
                return false;
        return done();
    }
    // Sends `type` with `text` and waits for the YOU it answers: its number.
    int ask(unsigned char type, const std::string &text)
    {
        std::vector<unsigned char> m(1 + text.size(), type);
        std::copy(text.begin(), text.end(), m.begin() + 1);
        s.answered = false;
        return send(m) && until([&] { return s.answered; }) ? s.you : -2;
    }
    const CLIENTPLAYER *player(int num)
    {
        auto p = std::find_if(s.players.begin(), s.players.end(), [&](const CLIENTPLAYER &q) { return q.num == num; });
        return p == s.players.end() ? nullptr : &*p;
    }
};

const unsigned char JOIN = 2, RESUME = 5;

PLAYERINFO tcpplayer(int num)
{
    KCLIENT kc;
    connectclient(&kc);
    std::vector<PLAYERINFO> list;
    kcgetplayerinfo(&kc, &list);
    kcclose(&kc);
    return list.at((size_t)num);
}

} // namespace

TEST(WebResume, ADroppedPlayerComesBackWholeUntilItsKeepTimeEnds)
{
    // Floor that conducts nothing: a fire's cell stays at 820 K.
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--resume-keep=3", tempfile(maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 </type>\n"
                                                                  "<type name=floor num=1> temp=20 cocon=0 calperc=0.125 </type>\n",
                                                                  std::vector<std::string>(6, std::string(8, '1')), "1,1 5,3"))}));
    ASSERT_TRUE(awaitlistening(WEBPORT, 5000));
    CLIENTPLAYER was;
    std::string token;
    {
        PAGE a;
        ASSERT_EQ(a.ask(JOIN, "alice"), 0);
        token = a.s.token;
        ASSERT_EQ(token.size(), 32u);
        // Its fire at (1, 1), then a step south; a TCP player standing in
        // the fire scores it 43 a tick (on a busy machine a tick may pass
        // between its two moves).
        ASSERT_TRUE(a.send({4}) && a.send({3, 0, 1}));
        KCLIENT kc;
        connectclient(&kc);
        int tcp;
        ASSERT_TRUE(kclogin(&kc, "tcp", &tcp) == 0 && kcmove(&kc, tcp, 1, 1) == 0 && kcmove(&kc, tcp, 5, 3) == 0);
        kcclose(&kc);
        ASSERT_TRUE(a.until([&] { return a.player(0) && a.player(0)->y == 2 && a.player(0)->score > 0 &&
                                      a.player(0)->score % 43 == 0; }));
        was = *a.player(0);
        // Another connection takes it over: this one can act for it no more.
        PAGE t;
        ASSERT_EQ(t.ask(RESUME, token), 0);
        EXPECT_EQ(t.s.token, token);
        a.s.answered = false;
        ASSERT_TRUE(a.send({3, 1, 0}) && a.until([&] { return a.s.answered; }));
        EXPECT_EQ(a.s.you, -1);
    } // both connections drop
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const PLAYERINFO kept = tcpplayer(0);
    EXPECT_TRUE(kept.num == 0 && kept.x == 1) << "kept, present, and not moved after the takeover";
    {
        PAGE b;
        EXPECT_EQ(b.ask(RESUME, std::string(32, '0')), -1);
        EXPECT_EQ(b.s.token, "");
        ASSERT_EQ(b.ask(RESUME, token), 0);
        EXPECT_EQ(b.s.token, token);
        ASSERT_TRUE(b.until([&] { return b.player(0); }));
        EXPECT_EQ(*b.player(0), was);
        ASSERT_TRUE(b.send({3, 1, 0}) && b.until([&] { return b.player(0)->x == 2; }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_EQ(tcpplayer(0).num, -1) << "left after the keep time";
    PAGE c;
    EXPECT_EQ(c.ask(RESUME, token), -1);
}

TEST(WebResume, APlayerOfAServerWithAStoreComesBackAfterARestart)
{
    const std::string map = tempfile(maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 </type>\n"
                                             "<type name=floor num=1> temp=20 cocon=0 calperc=0.125 </type>\n",
                                             std::vector<std::string>(6, std::string(8, '1')), "1,1 5,3"));
    const std::string state = map + ".state";
    const std::vector<std::string> args = {"--state=" + state, "--checkpoint=0.2", "--resume-keep=30", map};
    std::string token;
    CLIENTPLAYER was;
    {
        SERVERPROC server;
        ASSERT_TRUE(server.start(args));
        ASSERT_TRUE(awaitlistening(WEBPORT, 5000));
        PAGE a;
        ASSERT_EQ(a.ask(JOIN, "alice"), 0);
        token = a.s.token;
        ASSERT_TRUE(a.send({4}) && a.send({3, 1, 1}));
        ASSERT_TRUE(a.until([&] { return a.player(0) && a.player(0)->x == 2; }));
        was = *a.player(0);
        kill(server.pid, SIGTERM);
        ASSERT_EQ(server.wait(10000), 0);
    }
    SERVERPROC again;
    ASSERT_TRUE(again.start(args));
    ASSERT_TRUE(awaitlistening(WEBPORT, 5000));
    PAGE b;
    EXPECT_EQ(b.ask(JOIN, "bob"), 1) << "the restored list goes on numbering";
    PAGE c;
    ASSERT_EQ(c.ask(RESUME, token), 0);
    EXPECT_EQ(c.s.token, token);
    ASSERT_TRUE(c.until([&] { return c.player(0) != nullptr; }));
    EXPECT_EQ(*c.player(0), was);
    for (const char *end : {"", "-wal", "-shm"})
        std::remove((state + end).c_str());
}
