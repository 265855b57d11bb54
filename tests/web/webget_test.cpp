// The web endpoint's answers in-process, for what the real server never
// shows: /healthz before the world has ticked; and the page's files,
// compressed when the client takes gzip, and unchanged ones answered 304.
#include <gtest/gtest.h>

#include "web/http.h"
#include "web/metrics.h"
#include "testgame.h"

TEST(WebGet, HealthzIs503UntilTheWorldTicksThen200)
{
    WEBREPLY before = webget(testgame, "/healthz");
    EXPECT_EQ(before.status, 503);
    EXPECT_EQ(before.body, "ticks are not running\n");
    startmetrics(testgame.metrics, testgame.players, testgame.rounds);
    observetick(testgame.metrics, 0.004, 3);
    WEBREPLY after = webget(testgame, "/healthz?probe=1");
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(after.body, "ok\n");
    WEBREPLY metrics = webget(testgame, "/metrics");
    EXPECT_NE(metrics.body.find("kindler_cells_burning 3\n"), std::string::npos) << metrics.body;
    EXPECT_NE(metrics.body.find("kindler_tick_duration_seconds_bucket{le=\"0.005\"} 1\n"), std::string::npos);
}

TEST(WebGet, ThePageIsServedAtTheRootAndItsFilesByTheirPaths)
{
    WEBREPLY root = webget(testgame, "/");
    EXPECT_EQ(root.status, 200);
    EXPECT_EQ(root.type, "text/html; charset=utf-8");
    EXPECT_EQ(root.body, webget(testgame, "/index.html").body);
    EXPECT_EQ(webget(testgame, "/js/main.js").type, "text/javascript; charset=utf-8");
    EXPECT_EQ(webget(testgame, "/style.css").type, "text/css; charset=utf-8");
    EXPECT_EQ(webget(testgame, "/js/").status, 404);
    EXPECT_EQ(webget(testgame, "js/main.js").status, 404);
}

// (The browser tests read the compressed files: chromium takes gzip.)
TEST(WebGet, ThePagesFilesGoGzippedOnlyToAClientThatTakesIt)
{
    WEBREPLY plain = webget(testgame, "/js/main.js");
    EXPECT_FALSE(plain.gzip);
    for (const char *accept : {"gzip", "deflate, gzip, br", "GZIP;q=0.5", "*"}) {
        WEBREPLY packed = webget(testgame, "/js/main.js", accept);
        EXPECT_TRUE(packed.gzip && packed.body.size() < plain.body.size() / 2) << accept;
        EXPECT_EQ(packed.body.substr(0, 2), "\x1f\x8b") << accept;
        EXPECT_NE(packed.etag, plain.etag) << accept;
    }
    for (const char *accept : {"br", "gzip;q=0", "*, gzip;q=0", "xgzip"})
        EXPECT_FALSE(webget(testgame, "/js/main.js", accept).gzip) << accept;
}

TEST(WebGet, AFileWhoseTagTheClientHoldsIs304WithoutABody)
{
    WEBREPLY first = webget(testgame, "/style.css", "gzip");
    ASSERT_EQ(first.etag.front(), '"');
    WEBREPLY again = webget(testgame, "/style.css", "gzip", "\"other\", W/" + first.etag);
    EXPECT_EQ(again.status, 304);
    EXPECT_EQ(again.body, "");
    EXPECT_EQ(again.etag, first.etag);
    // Another file, or the other form of this one, is sent whole.
    EXPECT_EQ(webget(testgame, "/index.html", "gzip", first.etag).status, 200);
    EXPECT_EQ(webget(testgame, "/style.css", "", first.etag).status, 200);
}
