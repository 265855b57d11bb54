// The server under a service manager: readiness once both ports listen,
// then watchdog pings at half the interval the manager asks for, seen on
// a datagram socket standing in for systemd's.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support.h"

TEST(Service, ReadyOnceListeningThenWatchdogPingsAtHalfTheInterval)
{
    const std::string path = tempfile("", ".sock");
    unlink(path.c_str());
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    path.copy(a.sun_path, sizeof a.sun_path - 1);
    ASSERT_EQ(bind(fd, (sockaddr *)&a, sizeof a), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "400000", 1); // pings every 0.2 s
    SERVERPROC server;
    ASSERT_TRUE(server.start({"--http=0", mapspath("meadow.map")}));
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    auto next = [&] { // each datagram within 2 s
        pollfd p = {fd, POLLIN, 0};
        char buf[256];
        ssize_t n = poll(&p, 1, 2000) == 1 ? recv(fd, buf, sizeof buf, 0) : 0;
        return std::string(buf, n > 0 ? (size_t)n : 0);
    };
    EXPECT_EQ(next().rfind("READY=1\n", 0), 0u);
    EXPECT_TRUE(portlistening());
    EXPECT_EQ(next(), "WATCHDOG=1");
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(next(), "WATCHDOG=1");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GT(seconds, 0.8); // five pings at 0.2 s, on 0.1 s ticks
    EXPECT_LT(seconds, 2.5);
    close(fd);
}
