// Clients that misbehave against the real kindler-server: each case is its
// own test on a fresh server with a burning 200 x 200 map, and each ends by
// checking that a new client is still served and that the world still
// ticks (heat changes between two "getmap;" answers).
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kindlerclient.h"
#include "support.h"

namespace {

enum { SIDE = 200 };

// Every cell burns slowly for ever and conducts: heat changes every tick.
std::string burningmap()
{
    const std::string types =
        "<type name=outside num=0> temp=20 cocon=0.1 calperc=1 ignitionpoint=9000 fuellevel=0 burnspeed=0 calperf=0 </type>\n"
        "<type name=peat num=1> temp=400 cocon=0.1 calperc=1 ignitionpoint=300 fuellevel=1000000 burnspeed=1 calperf=1 </type>";
    std::vector<std::string> rows(SIDE, std::string(SIDE, '1'));
    return maptext(types, rows, "0,0 5,5");
}

class Misbehave : public ::testing::Test {
  protected:
    SERVERPROC server;
    std::string path;

    void SetUp() override
    {
        path = tempfile(burningmap());
        ASSERT_TRUE(server.start({path}));
        ASSERT_TRUE(server.running()) << server.err();
    }
    void TearDown() override
    {
        server.stop();
        unlink(path.c_str());
    }


    // A new client gets its version answer and sees the heat change
    // between two map answers.
    void stillserves()
    {
        ASSERT_TRUE(server.running()) << server.err();
        KCLIENT kc;
        ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
        std::string v;
        ASSERT_EQ(kcversion(&kc, &v), 0) << kc.error;
        EXPECT_EQ(v, "0.100000");
        ASSERT_NO_FATAL_FAILURE(worldticks(&kc));
        EXPECT_EQ(kcclose(&kc), 0);
    }

    static void worldticks(KCLIENT *kc)
    {
        std::vector<UPDATEMAP> first, next;
        ASSERT_EQ(kcgetmap(kc, &first), SIDE * SIDE) << kc->error;
        bool changed = false;
        for (int i = 0; i < 100 && !changed; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ASSERT_EQ(kcgetmap(kc, &next), SIDE * SIDE) << kc->error;
            changed = next[0].totalcal != first[0].totalcal;
        }
        EXPECT_TRUE(changed) << "the world did not tick";
    }

    // Waits until player num is listed as left (num -1).
    static bool playerleft(KCLIENT *kc, int num)
    {
        for (int i = 0; i < 100; i++) {
            std::vector<PLAYERINFO> list;
            if (kcgetplayerinfo(kc, &list) < 0 || (int)list.size() <= num)
                return false;
            if (list[(size_t)num].num == -1)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

} // namespace

TEST_F(Misbehave, DisconnectInTheMiddleOfGetAllMap)
{
    KCLIENT quitter;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&quitter, "quitter"));
    ASSERT_EQ(kcsend(&quitter, "getallmap;"), 0);
    std::vector<unsigned char> part(10000);
    ASSERT_EQ(kcrecv(&quitter, part.data(), part.size()), 0) << quitter.error;
    close(quitter.sock); // 3.8 MB answer, barely begun
    quitter.sock = -1;

    KCLIENT watcher;
    ASSERT_NO_FATAL_FAILURE(connectclient(&watcher));
    EXPECT_TRUE(playerleft(&watcher, 0)) << "the connection did not end";
    ASSERT_NO_FATAL_FAILURE(stillserves());
}

TEST_F(Misbehave, DisconnectInTheMiddleOfALoginRecord)
{
    KCLIENT quitter;
    ASSERT_NO_FATAL_FAILURE(connectclient(&quitter));
    ASSERT_EQ(kcsend(&quitter, "login;"), 0);
    unsigned char ready[NETOVERHEAD_SIZE];
    ASSERT_EQ(kcrecv(&quitter, ready, sizeof ready), 0) << quitter.error;
    EXPECT_EQ(get32(ready + 12), NET_READY);
    const char half[30] = "half a record";
    ASSERT_EQ(kcsendbytes(&quitter, half, sizeof half), 0);
    close(quitter.sock);
    quitter.sock = -1;

    ASSERT_NO_FATAL_FAILURE(stillserves());
    // Nobody was added: the next login is number 0.
    KCLIENT next;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&next, "next"));
}

TEST_F(Misbehave, ClientThatNeverReadsStallsOnlyItself)
{
    KCLIENT staller;
    ASSERT_NO_FATAL_FAILURE(connectclient(&staller));
    // A fixed receive buffer (no growth while nobody reads), and ten
    // answers of 1.6 MB each: far more than the socket buffers hold, so
    // the server's sending thread blocks.
    int fixed = 65536;
    setsockopt(staller.sock, SOL_SOCKET, SO_RCVBUF, &fixed, sizeof fixed);
    std::string cmds;
    for (int i = 0; i < 10; i++)
        cmds += "getmap;";
    ASSERT_EQ(kcsend(&staller, cmds), 0);
    // The answer is on its way but never read.
    int waiting = 0;
    for (int i = 0; i < 100 && waiting == 0; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ioctl(staller.sock, FIONREAD, &waiting);
    }
    EXPECT_GT(waiting, 0);

    // While it stalls, others are answered and the world ticks.
    KCLIENT other;
    ASSERT_NO_FATAL_FAILURE(connectclient(&other));
    std::string v;
    ASSERT_EQ(kcversion(&other, &v), 0) << other.error;
    EXPECT_EQ(v, "0.100000");
    int num = -2;
    ASSERT_EQ(kclogin(&other, "other", &num), 0) << other.error;
    std::vector<PLAYERINFO> list;
    ASSERT_EQ(kcgetplayerinfo(&other, &list), 1) << other.error;
    ASSERT_NO_FATAL_FAILURE(worldticks(&other));
    ASSERT_NO_FATAL_FAILURE(stillserves());

    // The staller was never cut off: its first answer is still whole.
    std::vector<unsigned char> run;
    EXPECT_EQ(kcreadrun(&staller, UPDATEMAP_SIZE, &run), SIDE * SIDE) << staller.error;
}

TEST_F(Misbehave, FiveThousandBytesWithoutTerminatorEndTheConnection)
{
    KCLIENT talker;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&talker, "talker"));
    ASSERT_EQ(kcsend(&talker, std::string(5000, 'x')), 0);
    char c;
    EXPECT_EQ(kcrecv(&talker, &c, 1), KC_CLOSED) << talker.error;

    KCLIENT watcher;
    ASSERT_NO_FATAL_FAILURE(connectclient(&watcher));
    EXPECT_TRUE(playerleft(&watcher, 0));
    ASSERT_NO_FATAL_FAILURE(stillserves());
}
