// The web endpoint under 200 spectators: the server's own endpoint runs in
// this process on a burning 512 x 512 world ticked every 0.1 s, and a
// child process opens 200 WebSocket clients, each viewing 160 x 100 cells.
// Measured: the tick's duration over the same ticks alone and watched, the
// time from a tick's publication to each client's receipt of its frame
// (p50, p99), the server's resident memory with the spectators, and the
// ticks the stream coalesced.
#include "bench.h"
#include "engine/snapshot.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/options.h"
#include "engine/publish.h"
#include "web/web.h"
#include "app/loop.h"
#include "testgame.h"

namespace {

const int BENCHPORT = 39141; // the endpoint's port in this process
const int SPECTATORS = 200;
const int TICKS = 60;        // ticks per phase
const long SIZE = 512;

int64_t nowns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long residentkb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// ---- the spectators (in the child process) ---------------------------------

// One arrival of a TILES message: which client, when, and its tick.
struct ARRIVAL {
    int32_t client;
    uint32_t tick;
    int64_t ns;
};

struct SPECTATOR : std::enable_shared_from_this<SPECTATOR> {
    SPECTATOR(boost::asio::io_context &ioc, int id, std::vector<ARRIVAL> &log, std::atomic<int> &ready)
        : ws(ioc), id(id), log(log), ready(ready)
    {
    }
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws;
    boost::beast::flat_buffer buf;
    int id;
    std::vector<ARRIVAL> &log;
    std::atomic<int> &ready;
    std::vector<unsigned char> view;

    void start()
    {
        boost::asio::ip::tcp::endpoint at(boost::asio::ip::address_v4::loopback(), BENCHPORT);
        ws.next_layer().connect(at);
        ws.handshake("127.0.0.1", "/stream");
        ws.binary(true);
        ws.write(boost::asio::buffer(view));
        ready++;
        readnext();
    }
    void readnext()
    {
        ws.async_read(buf, [self = shared_from_this()](boost::beast::error_code ec, size_t) {
            if (ec)
                return;
            auto d = self->buf.cdata();
            const unsigned char *p = (const unsigned char *)d.data();
            if (d.size() >= 6 && p[0] == 2) {
                uint32_t tick = (uint32_t)p[2] | (uint32_t)p[3] << 8 | (uint32_t)p[4] << 16 | (uint32_t)p[5] << 24;
                self->log.push_back({self->id, tick, nowns()});
            }
            self->buf.consume(d.size());
            self->readnext();
        });
    }
};

// The child: opens the spectators, says so on `tell`, reads for `seconds`,
// then writes its log to `out` and ends.
[[noreturn]] void spectate(int tell, int out, double seconds)
{
    boost::asio::io_context ioc;
    std::vector<ARRIVAL> log;
    log.reserve(SPECTATORS * 200);
    std::atomic<int> ready{0};
    std::vector<std::shared_ptr<SPECTATOR>> clients;
    std::mt19937 rng(7);
    for (int i = 0; i < SPECTATORS; i++) {
        auto s = std::make_shared<SPECTATOR>(ioc, i, log, ready);
        int32_t x = (int32_t)(rng() % (SIZE - 160)), y = (int32_t)(rng() % (SIZE - 100));
        s->view = {1};
        for (uint32_t v : {(uint32_t)x, (uint32_t)y})
            for (int b = 0; b < 4; b++)
                s->view.push_back((unsigned char)(v >> (8 * b)));
        for (int v : {160, 100})
            for (int b = 0; b < 2; b++)
                s->view.push_back((unsigned char)(v >> (8 * b)));
        s->start();
        clients.push_back(s);
    }
    char one = 1;
    (void)!write(tell, &one, 1);
    ioc.run_for(std::chrono::milliseconds((long)(seconds * 1000)));
    size_t bytes = log.size() * sizeof(ARRIVAL);
    const char *p = (const char *)log.data();
    while (bytes > 0) {
        ssize_t w = write(out, p, bytes);
        if (w <= 0)
            break;
        p += w;
        bytes -= (size_t)w;
    }
    _exit(0);
}

// ---- the server side (this process) ----------------------------------------

std::vector<int64_t> publishedat; // steady clock of each tick's publication
std::vector<double> tickseconds;
// A tick hook of its own, after the web's.
void benchticked(void *, GAME &, const TICKREPORT &report)
{
    publishedat.push_back(nowns());
    tickseconds.push_back(report.seconds);
}

// Puts the warmed-up world back into the server's world.
void restore(const WORLD &warm)
{
    copyworld(testgame.world, warm);
}

// TICKS ticks paced as the server paces them; their mean duration, ms.
double runticks()
{
    tickseconds.clear();
    for (int t = 0; t < TICKS; t++) {
        tickgame(testgame);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    double sum = 0;
    for (double s : tickseconds)
        sum += s;
    return sum * 1000 / (double)tickseconds.size();
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, (size_t)(q * (double)v.size()))];
}

void WebSpectators(benchmark::State &state)
{
    static bool started = false;
    WORLD warm;
    makeworld(warm, SIZE, true, nullptr);
    restore(warm);
    if (!started) {
        SETTINGS settings;
        settings.web.peraddress = settings.web.connections; // every spectator comes from 127.0.0.1
        startmetrics(testgame.metrics, testgame.players, testgame.rounds);
        startweb(testgame, settings.web, BENCHPORT, true);
        addtickhook(testgame, benchticked, nullptr);
        started = true;
    }
    for (auto _ : state) {
        // The same ticks alone, then watched.
        restore(warm);
        double alone = runticks();
        long rssbefore = residentkb();
        int tell[2], out[2];
        if (pipe(tell) != 0 || pipe(out) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        pid_t child = fork();
        if (child == 0)
            spectate(tell[1], out[1], TICKS * 0.1 * 1.6 + 5);
        close(tell[1]);
        close(out[1]);
        char one;
        if (read(tell[0], &one, 1) != 1) {
            state.SkipWithError("the spectators did not start");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // their key frames
        restore(warm);
        publishedat.clear();
        long rsspeak = 0;
        std::thread watch([&] {
            for (int i = 0; i < TICKS * 12; i++) {
                rsspeak = std::max(rsspeak, residentkb());
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        double watched = runticks();
        watch.join();
        std::vector<ARRIVAL> log;
        ARRIVAL a;
        while (read(out[0], &a, sizeof a) == (ssize_t)sizeof a)
            log.push_back(a);
        waitpid(child, nullptr, 0);
        close(tell[0]);
        close(out[0]);
        // Publish to receipt: from the newest publication before each
        // frame's arrival (frames drawn from an older tick would read
        // short, and are counted apart as coalesced).
        std::vector<double> latency;
        std::vector<uint32_t> lasttick(SPECTATORS, 0);
        long coalesced = 0;
        for (const ARRIVAL &r : log) {
            if (lasttick[(size_t)r.client] && r.tick > lasttick[(size_t)r.client] + 1)
                coalesced += r.tick - lasttick[(size_t)r.client] - 1;
            lasttick[(size_t)r.client] = r.tick;
            auto at = std::upper_bound(publishedat.begin(), publishedat.end(), r.ns);
            if (at != publishedat.begin())
                latency.push_back((double)(r.ns - *(at - 1)) / 1e6);
        }
        state.counters["tick_ms_alone"] = alone;
        state.counters["tick_ms_watched"] = watched;
        state.counters["slowdown_pct"] = (watched / alone - 1) * 100;
        state.counters["p50_ms"] = percentile(latency, 0.5);
        state.counters["p99_ms"] = percentile(latency, 0.99);
        state.counters["frames"] = (double)latency.size();
        state.counters["coalesced"] = (double)coalesced;
        state.counters["rss_rise_MB"] = (double)(rsspeak - rssbefore) / 1024;
    }
}

} // namespace

void registerwebbenchmarks()
{
    benchmark::RegisterBenchmark("web_spectators", WebSpectators)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}
