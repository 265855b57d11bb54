// No client locks the others out of the web port, against the real server:
// a JOIN flood, one address filling its cap, a foreign page's Origin, the
// descriptors kept for port 3140, and the idle timeout set short. And the
// game's capacity: port 3140's logins have an allowance per address, and
// --max-players bounds the players present, web and port 3140 together.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kindlerclient.h"
#include "protocol.h"
#include "support.h"
#include "webclient.h"

namespace {

// A raw TCP connection of the web port (or another) from a given source address.
struct RAW {
    int fd = -1;
    explicit RAW(const char *source, int port = WEBPORT)
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, source, &a.sin_addr);
        bool ok = bind(fd, (sockaddr *)&a, sizeof a) == 0;
        a.sin_port = htons((uint16_t)port);
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        EXPECT_TRUE(ok && connect(fd, (sockaddr *)&a, sizeof a) == 0);
    }
    ~RAW() { close(fd); }
    // What arrives within timeoutms, up to the end of a header or of the stream.
    std::string answer(int timeoutms = 3000)
    {
        std::string got;
        pollfd p = {fd, POLLIN, 0};
        char buf[4096];
        while (got.find("\r\n\r\n") == std::string::npos && poll(&p, 1, timeoutms) == 1) {
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, (size_t)n);
        }
        return got;
    }
    // Asks for the stream (with `origin` unless empty); the answer's status, or 0.
    int upgrade(const std::string &origin = "")
    {
        std::string req = "GET /stream HTTP/1.1\r\nHost: 127.0.0.1:3141\r\nUpgrade: websocket\r\n"
                          "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                          "Sec-WebSocket-Version: 13\r\n" +
                          (origin.empty() ? "" : "Origin: " + origin + "\r\n") + "\r\n";
        if (write(fd, req.data(), req.size()) != (ssize_t)req.size())
            return 0;
        std::string a = answer();
        return a.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(a.substr(9, 3)) : 0;
    }
};

double metric(const std::string &series)
{
    std::string text = httprequest(WEBPORT, "GET", "/metrics").body;
    size_t at = text.find("\n" + series + " ");
    return at == std::string::npos ? -1 : std::stod(text.substr(at + series.size() + 2));
}

// Waits up to 5 s for a metric to reach `least`.
bool awaitmetric(const std::string &series, double least)
{
    for (int i = 0; i < 100; i++) {
        if (metric(series) >= least)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<unsigned char> joinmsg(const std::string &name)
{
    std::vector<unsigned char> m(1 + name.size(), 2);
    std::copy(name.begin(), name.end(), m.begin() + 1);
    return m;
}

// Joins from `source` (for a page of `origin`): the number YOU answers,
// -1 refused, -2 no answer.
int join(const char *source, const std::string &name, const std::string &origin = "")
{
    WSCLIENT c;
    c.source = source;
    c.origin = origin;
    if (!wsconnect(c, WEBPORT) || !wssend(c, joinmsg(name)))
        return -2;
    std::vector<unsigned char> m;
    while (wsread(c, m))
        if (m.size() >= 6 && m[0] == 4) // YOU: the number, then the token
            return (int)(m[1] | m[2] << 8 | m[3] << 16 | (uint32_t)m[4] << 24);
    return -2;
}

// Sends `n` JOINs at once from one socket of `source`, kept open.
std::unique_ptr<WSCLIENT> flood(const char *source, int n)
{
    auto c = std::make_unique<WSCLIENT>();
    c->source = source;
    EXPECT_TRUE(wsconnect(*c, WEBPORT)) << c->error;
    for (int i = 0; i < n; i++)
        wssend(*c, joinmsg("flood"));
    return c;
}

bool start(SERVERPROC &server, std::vector<std::string> args)
{
    args.push_back(mapspath("valley.map"));
    return server.start(args) && awaitlistening(WEBPORT, 5000);
}

} // namespace

TEST(WebLimits, AJoinFloodFromOneSocketLeavesOthersJoining)
{
    SERVERPROC server;
    ASSERT_TRUE(start(server, {"--joins-per-connection=6", "--joins-per-address=10"}));
    auto a = flood("127.0.0.1", 1000);
    ASSERT_TRUE(awaitmetric("kindler_web_joins_refused_total{limit=\"connection\"}", 994));
    // Six joins were taken (players 0 to 5); the list did not grow by a thousand.
    EXPECT_EQ(join("127.0.0.1", "second"), 6);
    // Floods from more sockets of one address exhaust the address, not the game.
    auto b = flood("127.0.0.1", 100), c = flood("127.0.0.1", 100);
    ASSERT_TRUE(awaitmetric("kindler_web_joins_refused_total{limit=\"address\"}", 1));
    EXPECT_GE(join("127.0.0.2", "other"), 7);
}

TEST(WebLimits, AnAddressAtItsCapLeavesOtherAddressesIn)
{
    struct rlimit files; // room for more sockets than the server takes from one address
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    SERVERPROC server;
    ASSERT_TRUE(start(server, {}));
    std::vector<std::unique_ptr<RAW>> held;
    int status = 101;
    while (status == 101 && held.size() < 1100) {
        held.push_back(std::make_unique<RAW>("127.0.0.1"));
        status = held.back()->upgrade();
    }
    EXPECT_EQ(status, 429);
    EXPECT_EQ(held.size(), 33u); // the default cap of 32, and the one refused
    EXPECT_EQ(RAW("127.0.0.2").upgrade(), 101);
    held.clear();
    EXPECT_TRUE(awaitmetric("kindler_web_connections_refused_total{limit=\"address\"}", 1));
}

TEST(WebLimits, AForeignOriginIs403AndThePagesOwnOriginPlays)
{
    SERVERPROC server;
    ASSERT_TRUE(start(server, {"--origin=https://game.example,https://b.example"}));
    EXPECT_EQ(RAW("127.0.0.1").upgrade("https://evil.example"), 403);
    EXPECT_EQ(RAW("127.0.0.1").upgrade("null"), 403);
    EXPECT_EQ(RAW("127.0.0.1").upgrade("https://game.example"), 101);
    EXPECT_EQ(RAW("127.0.0.1").upgrade("https://B.example/"), 101);
    EXPECT_EQ(metric("kindler_web_connections_refused_total{limit=\"origin\"}"), 2);
    EXPECT_EQ(join("127.0.0.1", "own", "http://127.0.0.1:3141"), 0); // the page's own site plays
}

TEST(WebLimits, TheDescriptorReserveKeepsPort3140Accepting)
{
    SERVERPROC server;
    server.nofile = 96;
    ASSERT_TRUE(start(server, {"--fd-reserve=32", "--max-per-address=1000", "--max-connections=1000"}));
    // A blocked accept holds a descriptor: let port 3140 take one client
    // and pause, while web clients ask for every descriptor left.
    KCLIENT first;
    connectclient(&first);
    std::string v;
    ASSERT_EQ(kcversion(&first, &v), 0);
    std::vector<std::unique_ptr<RAW>> held;
    for (int i = 0; i < 100; i++)
        held.push_back(std::make_unique<RAW>("127.0.0.1"));
    // The last ones got an answer at once, not a reset, nor a wait.
    EXPECT_EQ(held.back()->answer().rfind("HTTP/1.1 503", 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&kc, "tcp", 0));
    held.clear();
    EXPECT_TRUE(awaitmetric("kindler_web_connections_refused_total{limit=\"descriptors\"}", 30));
}

TEST(WebLimits, AnIdleHttpConnectionClosesAfterTheIdleTimeout)
{
    SERVERPROC server;
    ASSERT_TRUE(start(server, {"--idle-timeout=1"}));
    RAW idle("127.0.0.1");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(idle.answer(5000), "");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
}

TEST(Capacity, LoginsOverAnAddressAllowanceAreAnsweredAsAFullListOthersLogIn)
{
    SERVERPROC server;
    ASSERT_TRUE(start(server, {"--logins-per-address=3"}));
    KCLIENT kc, other;
    connectclient(&kc);
    int num = -2;
    for (int want : {0, 1, 2, -1}) {
        ASSERT_EQ(kclogin(&kc, "flood", &num), 0) << kc.error;
        EXPECT_EQ(num, want);
    }
    std::vector<PLAYERINFO> list;
    EXPECT_EQ(kcgetplayerinfo(&kc, &list), 3) << kc.error; // the connection plays on
    RAW second("127.0.0.2", PORTNUM);
    other.sock = std::exchange(second.fd, -1);
    ASSERT_EQ(kclogin(&other, "second", &num), 0) << other.error;
    EXPECT_EQ(num, 3);
}

TEST(Capacity, MaxPlayersBoundsThePlayersPresentWebAndPort3140Together)
{
    SERVERPROC server;
    ASSERT_TRUE(start(server, {"--max-players=2"}));
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&kc, "alice", 0));
    EXPECT_EQ(join("127.0.0.1", "bob"), 1); // kept, present, for its resume once its page is gone
    int num = -2;
    ASSERT_EQ(kclogin(&kc, "again", &num), 0) << kc.error;
    EXPECT_EQ(num, -1);
    EXPECT_EQ(join("127.0.0.2", "cy"), -1);
    ASSERT_EQ(kcclose(&kc), 0); // alice leaves: room for one
    int joined = -1;
    for (int i = 0; i < 10 && joined < 0; i++) { // the server sees the close a moment later
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        joined = join("127.0.0.2", "dee");
    }
    EXPECT_EQ(joined, 2);
}
