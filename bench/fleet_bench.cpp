// The tick at the game's pace on the burning 1024 x 1024 world while the
// fleet thread works: without a fleet; with PostgreSQL answering; slowed
// (every statement 200 ms late, through a proxy that holds each request
// so long); and stopped (nothing listens). The fleet thread refreshes the
// game's row every second and sends a round's result every 5 s. The tick
// is the game's whole tick (tickgame: the physics, then the round, the
// players and the hooks under the game's locks, which the fleet thread's
// reads of the game take too). The tick's p50, p99 and worst; the
// heartbeats stored; the CPU time the fleet thread used in all; and the
// CPU time the fleet thread and the database's processes (here on this
// machine; a fleet keeps it on a host of its own) ran within each tick,
// its p99 and worst: the most the fleet can have taken from a tick whose
// threads fill the cores, a bound that the load of a shared machine does
// not blur as it blurs the tick's own times; and how long the tick's
// threads waited for a core within each tick, p99 and worst, whatever
// took it. Three repetitions of each case;
// --benchmark_enable_random_interleaving=true mixes their order.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "game/game.h"
#include "fleet/fleet.h"
#include "pgserver.h"

namespace {

double since(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

// A TCP proxy on 127.0.0.1:`port` to 127.0.0.1:`to` that holds every
// chunk a client sends for `delay` before passing it on.
struct SLOWPROXY {
    int listener = -1, port = 0;
    std::atomic<bool> stopping{false};
    std::vector<std::thread> threads;

    static int connectto(int to)
    {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)to);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, (sockaddr *)&a, sizeof a) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }
    void pipe(int client, int server, std::chrono::milliseconds delay)
    {
        char buf[65536];
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!stopping && poll(fds, 2, 200) >= 0) {
            for (int i = 0; i < 2; i++) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n <= 0)
                    goto done;
                if (i == 0)
                    std::this_thread::sleep_for(delay);
                if (write(fds[1 - i].fd, buf, (size_t)n) != n)
                    goto done;
            }
        }
    done:
        close(client);
        close(server);
    }
    bool start(int to, std::chrono::milliseconds delay)
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(listener, (sockaddr *)&a, sizeof a) != 0 || listen(listener, 16) != 0 ||
            getsockname(listener, (sockaddr *)&a, &len) != 0)
            return false;
        port = ntohs(a.sin_port);
        threads.emplace_back([this, to, delay] {
            pollfd p = {listener, POLLIN, 0};
            while (!stopping) {
                if (poll(&p, 1, 200) <= 0)
                    continue;
                const int client = accept(listener, nullptr, nullptr);
                const int server = client >= 0 ? connectto(to) : -1;
                if (server < 0) {
                    if (client >= 0)
                        close(client);
                    continue;
                }
                threads.emplace_back([this, client, server, delay] { pipe(client, server, delay); });
            }
        });
        return true;
    }
    ~SLOWPROXY()
    {
        stopping = true;
        // The accepting thread is first; it adds no more once stopping.
        if (!threads.empty())
            threads.front().join();
        for (size_t i = 1; i < threads.size(); i++)
            threads[i].join();
        if (listener >= 0)
            close(listener);
    }
};

// A thread's CPU time so far, ms.
double threadcpu(clockid_t cpu)
{
    timespec t{};
    clock_gettime(cpu, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

// The CPU time so far of the PostgreSQL cluster in `dir` (its postmaster
// and the processes it started, the fleet's connection among them), ms; 0
// when it does not run.
double clustercpu(const std::string &dir)
{
    std::ifstream pidfile(dir + "/data/postmaster.pid");
    long pid = 0;
    if (dir.empty() || !(pidfile >> pid))
        return 0;
    std::vector<long> pids = {pid};
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (long child; children >> child;)
        pids.push_back(child);
    double ns = 0;
    for (long p : pids) {
        std::ifstream sched("/proc/" + std::to_string(p) + "/schedstat"); // first: ns on a CPU
        double run = 0;
        if (sched >> run)
            ns += run;
    }
    return ns / 1e6;
}

// How long the tick's threads (this one and the tick's helper, named
// kindler-tick) have waited so far for a core while they could run, ms:
// what other threads and processes of this machine took from the tick
// (the first field of schedstat is the time on a core, the second the
// time waiting in the run queue).
double tickwaited()
{
    const std::string self = std::to_string(gettid());
    double ns = 0;
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task")) {
        const std::string tid = task.path().filename();
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (tid != self && name != "kindler-tick")
            continue;
        std::ifstream sched(task.path() / "schedstat");
        double run = 0, wait = 0;
        if (sched >> run >> wait)
            ns += wait;
    }
    return ns / 1e6;
}

enum { NOFLEET = 0, ANSWERING = 1, SLOWED = 2, STOPPED = 3 };

// state.range(1) ticks at the server's pace with the fleet as state.range(2) says.
void FleetPaced(benchmark::State &state)
{
    const long size = state.range(0), ticks = state.range(1), mode = state.range(2);
    PGSERVER pg;
    SLOWPROXY proxy;
    std::string uri = "postgresql://kindler@127.0.0.1:1/postgres"; // STOPPED: nothing listens
    if (mode == ANSWERING || mode == SLOWED) {
        if (!PGSERVER::installed() || !pg.make() || !pg.start()) {
            state.SkipWithError("no PostgreSQL (scripts/deps.sh installs it)");
            return;
        }
        uri = pg.uri();
        if (mode == SLOWED) {
            proxy.start(pg.port, std::chrono::milliseconds(200));
            uri = "postgresql://kindler@127.0.0.1:" + std::to_string(proxy.port) + "/postgres";
        }
    }
    GAME g;
    makeworld(g.world, size, true, nullptr, &g.tick);
    g.lobby->name = "bench";
    FLEET f;
    f.game = &g;
    f.uri = uri;
    f.beat = 1;
    f.retry = 1;
    f.log = fopen("/dev/null", "w");
    std::vector<double> ms;
    int64_t lastbeat = -1;
    double beats = 0, fleetcpu = 0;
    std::vector<double> fleetcpus, dbcpus; // ms of CPU each ran within each tick
    std::vector<double> waits;             // ms the tick's threads waited for a core in each tick
    for (auto _ : state) {
        clockid_t cpu{};
        const bool cpuknown = mode != NOFLEET && startfleet(f) && pthread_getcpuclockid(f.thread, &cpu) == 0;
        for (long t = 0; t < ticks; t++) {
            const double before = cpuknown ? threadcpu(cpu) : 0, dbbefore = clustercpu(pg.dir);
            const double waitbefore = tickwaited();
            const auto from = std::chrono::steady_clock::now();
            tickgame(g);
            ms.push_back(since(from));
            waits.push_back(tickwaited() - waitbefore);
            // What the fleet thread and the database ran while the tick
            // did: the most they can have taken from it.
            if (cpuknown)
                fleetcpus.push_back(threadcpu(cpu) - before);
            if (!pg.dir.empty())
                dbcpus.push_back(clustercpu(pg.dir) - dbbefore);
            const int64_t beat = g.lobby->lastbeat.load();
            beats += beat != lastbeat;
            lastbeat = beat;
            if (mode != NOFLEET && t % 50 == 49) {
                ROUNDRESULT r{(uint32_t)(t / 50 + 1), "bench", 1000, 1005, "limit", {{"ann", 3, false, 0, true}}};
                postresult(*g.lobby, r);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (cpuknown)
            fleetcpu += threadcpu(cpu);
        if (mode != NOFLEET)
            stopfleet(f);
    }
    fclose(f.log);
    std::sort(ms.begin(), ms.end());
    state.counters["tick_p50_ms"] = ms[ms.size() / 2];
    state.counters["tick_p99_ms"] = ms[(ms.size() * 99) / 100];
    state.counters["tick_max_ms"] = ms.back();
    state.counters["beats"] = beats;
    state.counters["fleet_cpu_ms"] = fleetcpu;
    for (auto &[name, v] : {std::pair{"fleet_cpu", &fleetcpus}, std::pair{"db_cpu", &dbcpus}, std::pair{"wait", &waits}}) {
        if (v->empty())
            continue;
        std::sort(v->begin(), v->end());
        state.counters[std::string(name) + "_tick_p99_ms"] = (*v)[(v->size() * 99) / 100];
        state.counters[std::string(name) + "_tick_max_ms"] = v->back();
    }
    pthread_mutex_lock(&g.lobby->lobby_lock);
    state.counters["results_waiting"] = (double)g.lobby->outbox.size();
    pthread_mutex_unlock(&g.lobby->lobby_lock);
}

} // namespace

void registerfleetbenchmarks()
{
    // 150 ticks each (15 s of game and more: the ticks add their own time),
    // a heartbeat a second, a result every 50 ticks.
    benchmark::RegisterBenchmark("fleetpaced", FleetPaced)
        ->ArgNames({"size", "ticks", "fleet"})
        ->Args({1024, 150, NOFLEET})
        ->Args({1024, 150, ANSWERING})
        ->Args({1024, 150, SLOWED})
        ->Args({1024, 150, STOPPED})
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}
