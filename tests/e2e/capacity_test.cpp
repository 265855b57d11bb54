// The lobby's capacity against the real server: port 3140's logins have an
// allowance per address, answered over it as a full list answers, and
// --max-players bounds the players present, web and port 3140 together.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kindlerclient.h"
#include "protocol.h"
#include "support.h"
#include "webclient.h"

namespace {

// kc connected to port 3140 from `source` (a loopback address).
void connectfrom(KCLIENT *kc, const char *source)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, source, &a.sin_addr);
    ASSERT_EQ(bind(fd, (sockaddr *)&a, sizeof a), 0);
    a.sin_port = htons(PORTNUM);
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    ASSERT_EQ(connect(fd, (sockaddr *)&a, sizeof a), 0);
    kc->sock = fd;
}

// A web JOIN from a fresh connection kept in `c`: the number YOU answers,
// -1 refused, -2 no answer.
int webjoin(WSCLIENT &c, const std::string &name)
{
    std::vector<unsigned char> join(1 + name.size(), 2);
    std::copy(name.begin(), name.end(), join.begin() + 1);
    if (!wsconnect(c, WEBPORT) || !wssend(c, join))
        return -2;
    std::vector<unsigned char> m;
    while (wsread(c, m))
        if (m.size() >= 6 && m[0] == 4) // YOU
            return (int)(m[1] | m[2] << 8 | m[3] << 16 | (uint32_t)m[4] << 24);
    return -2;
}

} // namespace

TEST(Capacity, LoginsOverAnAddressAllowanceAreAnsweredAsAFullListOthersLogIn)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--logins-per-address=3", mapspath("valley.map")}));
    KCLIENT kc, other;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    int num = -2;
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(kclogin(&kc, "flood", &num), 0) << kc.error;
        EXPECT_EQ(num, i);
    }
    ASSERT_EQ(kclogin(&kc, "flood", &num), 0) << kc.error;
    EXPECT_EQ(num, -1);
    std::vector<PLAYERINFO> list;
    EXPECT_EQ(kcgetplayerinfo(&kc, &list), 3) << kc.error; // the connection plays on
    ASSERT_NO_FATAL_FAILURE(connectfrom(&other, "127.0.0.2"));
    ASSERT_EQ(kclogin(&other, "second", &num), 0) << other.error;
    EXPECT_EQ(num, 3);
}

TEST(Capacity, MaxPlayersBoundsThePlayersPresentWebAndPort3140Together)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--max-players=2", mapspath("valley.map")}));
    ASSERT_TRUE(awaitlistening(WEBPORT, 5000)) << server.err();
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    int num = -2;
    ASSERT_EQ(kclogin(&kc, "alice", &num), 0) << kc.error;
    EXPECT_EQ(num, 0);
    WSCLIENT bob, cy, dee;
    EXPECT_EQ(webjoin(bob, "bob"), 1);
    ASSERT_EQ(kclogin(&kc, "again", &num), 0) << kc.error;
    EXPECT_EQ(num, -1);
    EXPECT_EQ(webjoin(cy, "cy"), -1);
    ASSERT_EQ(kcclose(&kc), 0); // alice leaves: room for one
    int joined = -2;
    for (int i = 0; i < 50 && joined < 0; i++) { // the server sees the close a moment later
        WSCLIENT c;
        joined = webjoin(c, "dee");
        if (joined < 0)
            usleep(100 * 1000);
    }
    EXPECT_EQ(joined, 2);
}
