// The web endpoint's answers in-process, for what the real server never
// shows: /healthz before the world has ticked.
#include <gtest/gtest.h>

#include "web/http.h"
#include "web/metrics.h"
#include "testgame.h"

TEST(WebGet, HealthzIs503UntilTheWorldTicksThen200)
{
    WEBREPLY before = webget(testgame, "/healthz");
    EXPECT_EQ(before.status, 503);
    EXPECT_EQ(before.body, "ticks are not running\n");
    initmetrics();
    observetick(0.004, 3);
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
