// The web endpoint's start-up and its HTTP side, against the real server:
// the port and its command-line word, the page and its policy, HEAD,
// unknown paths and methods, a malformed request, /healthz and /metrics.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "kindlerclient.h"
#include "protocol.h"
#include "support.h"
#include "webclient.h"

namespace {

// A port nothing of the tests uses, for --http=PORT.
const int OTHERPORT = 3197;

// Holds a TCP port (bound and listening) while it lives.
struct PORTHOG {
    int fd = -1;
    explicit PORTHOG(int port)
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1; // a server of an earlier test may have left the port in TIME_WAIT
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)port);
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        if (bind(fd, (sockaddr *)&a, sizeof a) != 0 || listen(fd, 1) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~PORTHOG()
    {
        if (fd >= 0)
            close(fd);
    }
};

// The value of one metric line `name{labels} value`, or -1.
double metric(const std::string &text, const std::string &series)
{
    size_t at = text.find("\n" + series + " ");
    if (at == std::string::npos)
        return -1;
    return std::stod(text.substr(at + series.size() + 2));
}

class WebHttp : public ::testing::Test {
protected:
    SERVERPROC server;
    void SetUp() override
    {
        ASSERT_TRUE(server.start({mapspath("meadow.map")}));
        ASSERT_TRUE(awaitlistening(WEBPORT, 5000)) << server.err();
    }
};

} // namespace

TEST(WebStartup, TheClassicStartupLinesAreUnchangedWithTheEndpointOn)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({mapspath("meadow.map")}));
    ASSERT_TRUE(awaitlistening(WEBPORT, 5000));
    EXPECT_EQ(server.out(), "Loading " + mapspath("meadow.map") +
                                "\nDecoding map...\nAllocated curmap\nAllocated oldmap\nSetting up map....\n");
    EXPECT_EQ(server.err(), "");
}

TEST(WebStartup, HttpZeroTurnsTheEndpointOffAndIsNotTheMap)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({mapspath("meadow.map"), "--http=0"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(server.running());
    EXPECT_FALSE(listening(WEBPORT));
    // The map is the last word that is not --http=PORT.
    EXPECT_EQ(server.out().rfind("Loading " + mapspath("meadow.map") + "\n", 0), 0u) << server.out();
}

TEST(WebStartup, AChosenPortMovesTheEndpoint)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--http=" + std::to_string(OTHERPORT), mapspath("meadow.map")}));
    ASSERT_TRUE(awaitlistening(OTHERPORT, 5000));
    EXPECT_FALSE(listening(WEBPORT));
    EXPECT_EQ(httprequest(OTHERPORT, "GET", "/").status, 200);
}

TEST(WebStartup, AChosenPortThatIsTakenEndsStartUpWithStatusOne)
{
    PORTHOG hog(OTHERPORT);
    ASSERT_GE(hog.fd, 0);
    SERVERPROC server;
    server.launch({"--http=" + std::to_string(OTHERPORT), mapspath("meadow.map")});
    EXPECT_EQ(server.wait(5000), 1);
    EXPECT_EQ(server.err(), "http: port " + std::to_string(OTHERPORT) + ": Address already in use\n");
}

TEST(WebStartup, ATakenDefaultPortIsOneLineAndTheGameGoesOn)
{
    PORTHOG hog(WEBPORT);
    ASSERT_GE(hog.fd, 0);
    SERVERPROC server;
    ASSERT_TRUE(server.start({mapspath("meadow.map")}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(server.running());
    EXPECT_EQ(server.err(), "http: port 3141: Address already in use; the web page is off\n");
    KCLIENT kc;
    connectclient(&kc);
    std::string version;
    ASSERT_EQ(kcversion(&kc, &version), 0);
    EXPECT_EQ(version, "0.100000");
    kcclose(&kc);
}

TEST(WebStartup, ABadPortWordEndsStartUpBeforeTheMapIsRead)
{
    for (const char *word : {"--http=", "--http=65536", "--http=-1", "--http=80x"}) {
        SERVERPROC server;
        server.launch({word, mapspath("meadow.map")});
        EXPECT_EQ(server.wait(5000), 1) << word;
        EXPECT_EQ(server.out(), "") << word;
        EXPECT_EQ(server.err(), std::string("Error! Bad web port in \"") + word +
                                    "\": want --http=PORT, PORT from 0 to 65535.\n");
    }
}

TEST_F(WebHttp, ThePageComesWithAStrictContentSecurityPolicy)
{
    HTTPRESULT r = httprequest(WEBPORT, "GET", "/");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.header["content-type"], "text/html; charset=utf-8");
    EXPECT_NE(r.body.find("<canvas"), std::string::npos);
    EXPECT_NE(r.body.find("<form"), std::string::npos);
    const std::string csp = r.header["content-security-policy"];
    EXPECT_NE(csp.find("default-src 'none'"), std::string::npos) << csp;
    EXPECT_NE(csp.find("script-src 'self'"), std::string::npos) << csp;
    EXPECT_EQ(csp.find("unsafe"), std::string::npos) << csp;
    // Every script the page loads is served as JavaScript.
    int scripts = 0;
    for (size_t at = r.body.find("src=\""); at != std::string::npos; at = r.body.find("src=\"", at + 1)) {
        std::string path = r.body.substr(at + 5, r.body.find('"', at + 5) - (at + 5));
        if (path.size() < 3 || path.compare(path.size() - 3, 3, ".js") != 0)
            continue;
        HTTPRESULT js = httprequest(WEBPORT, "GET", path);
        EXPECT_EQ(js.status, 200) << path;
        EXPECT_EQ(js.header["content-type"], "text/javascript; charset=utf-8") << path;
        scripts++;
    }
    EXPECT_GT(scripts, 0);
}

TEST_F(WebHttp, HeadGivesTheLengthOfTheBodyWithoutIt)
{
    HTTPRESULT get = httprequest(WEBPORT, "GET", "/");
    HTTPRESULT head = httprequest(WEBPORT, "HEAD", "/");
    ASSERT_EQ(head.status, 200);
    EXPECT_EQ(head.body, "");
    EXPECT_EQ(head.header["content-length"], std::to_string(get.body.size()));
}

TEST_F(WebHttp, ThePagesFilesComeGzippedWithAnETagAndRevalidate)
{
    std::string get = "GET /js/main.js HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\nConnection: close\r\n";
    std::string first = httpraw(WEBPORT, get + "\r\n", 2000);
    EXPECT_TRUE(first.find("Content-Encoding: gzip\r\n") != std::string::npos &&
                first.find("Cache-Control: no-cache\r\n") != std::string::npos)
        << first.substr(0, 400);
    size_t at = first.find("ETag: ");
    ASSERT_NE(at, std::string::npos) << first.substr(0, 400);
    std::string etag = first.substr(at + 6, first.find('\r', at) - at - 6);
    std::string again = httpraw(WEBPORT, get + "If-None-Match: " + etag + "\r\n\r\n", 2000);
    EXPECT_EQ(again.rfind("HTTP/1.1 304", 0), 0u) << again;
    EXPECT_EQ(again.substr(again.find("\r\n\r\n")), "\r\n\r\n") << again;
}

TEST_F(WebHttp, UnknownPathsAre404AndOtherMethods405)
{
    EXPECT_EQ(httprequest(WEBPORT, "GET", "/nothing-here").status, 404);
    EXPECT_EQ(httprequest(WEBPORT, "GET", "/../etc/passwd").status, 404);
    EXPECT_EQ(httprequest(WEBPORT, "GET", "/stream").status, 404); // not an upgrade
    HTTPRESULT post = httprequest(WEBPORT, "POST", "/");
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.header["allow"], "GET, HEAD");
}

TEST_F(WebHttp, AMalformedRequestIs400AndTheServerGoesOn)
{
    std::string answer = httpraw(WEBPORT, "NOT HTTP AT ALL\r\n\r\n", 2000);
    EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << answer;
    answer = httpraw(WEBPORT, "GET / HTTP/1.1\r\nHost: x\r\n" + std::string(20000, 'a') + "\r\n\r\n", 2000);
    EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << answer.substr(0, 100);
    EXPECT_EQ(httprequest(WEBPORT, "GET", "/").status, 200);
}

TEST_F(WebHttp, HealthzIsOkWhileTheWorldTicks)
{
    HTTPRESULT r = httprequest(WEBPORT, "GET", "/healthz");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "ok\n");
}

// Where the host has IPv6 loopback, the web port answers on it too (and
// on IPv4, as every other test shows).
TEST_F(WebHttp, HealthzAnswersOnIPv6LoopbackWhereTheHostHasIt)
{
    sockaddr_in6 at = {};
    at.sin6_family = AF_INET6;
    at.sin6_addr = in6addr_loopback;
    const int probe = socket(AF_INET6, SOCK_STREAM, 0);
    const bool has = probe >= 0 && bind(probe, (sockaddr *)&at, sizeof at) == 0;
    if (probe >= 0)
        close(probe);
    if (!has)
        GTEST_SKIP() << "no ::1 here";
    at.sin6_port = htons(WEBPORT);
    const int fd = socket(AF_INET6, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(connect(fd, (sockaddr *)&at, sizeof at), 0) << "[::1]:" << WEBPORT;
    const std::string ask = "GET /healthz HTTP/1.1\r\nHost: [::1]\r\nConnection: close\r\n\r\n";
    ASSERT_EQ(send(fd, ask.data(), ask.size(), MSG_NOSIGNAL), (ssize_t)ask.size());
    std::string answer;
    char buffer[4096];
    timeval limit = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, (size_t)n);
    close(fd);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\n\r\nok\n"), std::string::npos) << answer;
}

TEST_F(WebHttp, MetricsCountTicksConnectionsAndBytes)
{
    KCLIENT kc; // one TCP client
    connectclient(&kc);
    std::string version;
    ASSERT_EQ(kcversion(&kc, &version), 0);
    HTTPRESULT first = httprequest(WEBPORT, "GET", "/metrics");
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.header["content-type"].rfind("text/plain; version=0.0.4", 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    HTTPRESULT second = httprequest(WEBPORT, "GET", "/metrics");
    EXPECT_GT(metric(second.body, "kindler_ticks_total"), metric(first.body, "kindler_ticks_total"));
    EXPECT_GT(metric(second.body, "kindler_tick_duration_seconds_count"), 0);
    EXPECT_EQ(metric(second.body, "kindler_connections{protocol=\"tcp\"}"), 1);
    EXPECT_GE(metric(second.body, "kindler_payload_bytes_total{protocol=\"tcp\"}"), 8);
    EXPECT_EQ(metric(second.body, "kindler_players_present"), 0);
    for (const char *family : {"kindler_cells_burning", "kindler_connections{protocol=\"websocket\"}",
                               "kindler_stream_frames_sent_total", "kindler_stream_frames_coalesced_total"})
        EXPECT_GE(metric(second.body, family), 0) << family;
    kcclose(&kc);
}
