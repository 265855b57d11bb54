// Benchmarks of the map answers over loopback. The server's own command
// loop (serveconnection) runs in-process on an ephemeral port of 127.0.0.1,
// with the tick running every 0.1 s beside it as in the server.
#include "bench.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tcp/connection.h"
#include "game/loadmap.h"
#include "engine/publish.h"
#include "wire.h"
#include "tcp/session.h"
#include "testgame.h"

namespace {

struct NETSERVER {
    int listenfd = -1;
    int port = 0;
    std::thread acceptor;
    std::thread ticker;
    std::atomic<bool> stopping{false};
    std::vector<std::thread> connections;
    long loaded = 0;
};

NETSERVER server;

std::string meadowmap(long size)
{
    std::string s = "<kindler version=\"0.2\">\n<unittypes>\n"
                    "<type name=outside num=0> temp=20 cocon=0.1 calperc=1 ignitionpoint=900 fuellevel=0 "
                    "burnspeed=0 calperf=0 </type>\n"
                    "<type name=grass num=2> temp=20 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 "
                    "burnspeed=3 calperf=400 </type>\n</unittypes>\n";
    s += "<map name=\"bench\" xsize=" + std::to_string(size) + " ysize=" + std::to_string(size) + ">\n";
    std::string row;
    for (long x = 0; x < size; x++)
        row += "2 ";
    row += "<r>\n";
    for (long y = 0; y < size; y++)
        s += row;
    s += "</map>\n<start> 1,1 </start>\n</kindler>\n";
    return s;
}

void stopserver()
{
    if (server.listenfd < 0)
        return;
    server.stopping = true;
    shutdown(server.listenfd, SHUT_RDWR);
    close(server.listenfd);
    server.acceptor.join();
    server.ticker.join();
    for (auto &t : server.connections)
        t.join();
    server.connections.clear();
    server.listenfd = -1;
    server.stopping = false;
}

// Loads a size x size meadow and serves it; a second call with the same
// size keeps what runs.
void startserver(long size)
{
    if (server.listenfd >= 0 && server.loaded == size)
        return;
    stopserver();
    resetworld(testgame.world);
    std::istringstream in(meadowmap(size));
    MAPFILE f;
    readmapfile(in, f);
    makemap(f, testgame.world, nullptr);
    server.loaded = size;

    server.listenfd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(server.listenfd, (sockaddr *)&a, sizeof a);
    listen(server.listenfd, 64);
    socklen_t len = sizeof a;
    getsockname(server.listenfd, (sockaddr *)&a, &len);
    server.port = ntohs(a.sin_port);
    server.acceptor = std::thread([] {
        for (;;) {
            int fd = accept(server.listenfd, nullptr, nullptr);
            if (fd < 0)
                return;
            server.connections.emplace_back([fd] { serveconnection(testgame, testtcp, fd); });
        }
    });
    server.ticker = std::thread([] {
        while (!server.stopping) {
            dophys(testgame.world, testgame.tick);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
}

int connectto()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((uint16_t)server.port);
    if (connect(fd, (sockaddr *)&a, sizeof a) < 0) {
        close(fd);
        return -1;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool sendtext(int fd, const char *s) { return send(fd, s, std::strlen(s), MSG_NOSIGNAL) == (ssize_t)std::strlen(s); }

// Receives and drops exactly len bytes.
bool drain(int fd, size_t len)
{
    static thread_local std::vector<char> buf(1 << 18);
    while (len > 0) {
        ssize_t r = recv(fd, buf.data(), std::min(len, buf.size()), 0);
        if (r <= 0)
            return false;
        len -= (size_t)r;
    }
    return true;
}

size_t answerbytes(bool full)
{
    size_t n = (size_t)server.loaded * (size_t)server.loaded + 1;
    return n * (full ? FIRSTMAP_SIZE : UPDATEMAP_SIZE);
}

void MapAnswer(benchmark::State &state)
{
    long size = state.range(0);
    bool full = state.range(1) != 0;
    startserver(size);
    int fd = connectto();
    size_t bytes = answerbytes(full);
    for (auto _ : state) {
        sendtext(fd, full ? strgetallmap : strgetmap);
        if (!drain(fd, bytes)) {
            state.SkipWithError("map answer cut short");
            break;
        }
    }
    sendtext(fd, strclose);
    close(fd);
    state.SetBytesProcessed((int64_t)(state.iterations() * bytes));
}

long rssbytes()
{
    long pages = 0, resident = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// 20 clients fetch getallmap at once; the counter is the rise of the
// resident set above what it was before, in pictures (one encoded answer).
void TwentyClients(benchmark::State &state)
{
    long size = state.range(0);
    startserver(size);
    size_t bytes = answerbytes(true);
    double worst = 0;
    for (auto _ : state) {
        std::vector<int> fds;
        for (int i = 0; i < 20; i++)
            fds.push_back(connectto());
        // One fetch first, so the picture of this state exists.
        sendtext(fds[0], strgetallmap);
        drain(fds[0], bytes);
        long base = rssbytes();
        std::atomic<long> peak{base};
        std::atomic<bool> done{false};
        std::thread sampler([&] {
            while (!done) {
                long r = rssbytes();
                if (r > peak)
                    peak = r;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        std::vector<std::thread> clients;
        for (int fd : fds)
            clients.emplace_back([fd, bytes] {
                sendtext(fd, strgetallmap);
                drain(fd, bytes);
            });
        for (auto &t : clients)
            t.join();
        done = true;
        sampler.join();
        worst = std::max(worst, (double)(peak - base) / (double)bytes);
        for (int fd : fds) {
            sendtext(fd, strclose);
            close(fd);
        }
    }
    state.counters["peak_rise_pictures"] = worst;
    state.counters["picture_MB"] = (double)bytes / 1e6;
}

// Round trip of version while 8 other clients fetch getmap in a loop.
void VersionUnderLoad(benchmark::State &state)
{
    long size = state.range(0);
    startserver(size);
    size_t bytes = answerbytes(false);
    std::atomic<bool> done{false};
    std::vector<std::thread> loaders;
    for (int i = 0; i < 8; i++)
        loaders.emplace_back([&] {
            int fd = connectto();
            while (!done) {
                sendtext(fd, strgetmap);
                if (!drain(fd, bytes))
                    break;
            }
            sendtext(fd, strclose);
            close(fd);
        });
    int fd = connectto();
    std::vector<double> us;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        sendtext(fd, strversion);
        drain(fd, 8);
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        // Spread the probes over several ticks.
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        state.ResumeTiming();
    }
    done = true;
    for (auto &t : loaders)
        t.join();
    sendtext(fd, strclose);
    close(fd);
    std::sort(us.begin(), us.end());
    if (!us.empty()) {
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    }
}

} // namespace

void stopnetserver()
{
    stopserver();
    resetworld(testgame.world);
}

void registernetbenchmarks()
{
    for (long size : {512L, 1024L})
        for (int full : {0, 1})
            benchmark::RegisterBenchmark(full ? "getallmap" : "getmap", MapAnswer)
                ->Args({size, full})
                ->Unit(benchmark::kMillisecond)
                ->MinTime(2.0)
                ->UseRealTime();
    benchmark::RegisterBenchmark("twenty_getallmap", TwentyClients)->Args({512})->Iterations(3)->UseRealTime();
    benchmark::RegisterBenchmark("version_under_load", VersionUnderLoad)
        ->Args({1024})
        ->Iterations(300)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("net_done", [](benchmark::State &state) {
        for (auto _ : state) {
        }
        stopnetserver();
    })->Iterations(1);
}
