// The operators' numbers of one game and of what serves it, as /metrics
// shows them (prometheus-cpp): one registry, made by whoever runs the game
// (the server's start-up, a test), which the game, its front ends and its
// store each add their own metrics to; and the game's own: the tick's
// duration and count, burning cells, players present, with rounds the
// rounds ended by why and the seconds left.
//
// prometheus-cpp guards each metric itself; the game's are updated by the
// ticking thread with no game lock held. The numbers kept elsewhere
// (players, rounds, a front end's counters) are read at scrape time by
// `onscrape`, in the one thread that scrapes (the web's io thread).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/player.h"
#include "game/round.h"

namespace prometheus {
class Registry;
class Counter;
class Gauge;
class Histogram;
template <typename T>
class Family;
} // namespace prometheus

struct METRICS {
    METRICS() = default;
    METRICS(const METRICS &) = delete;
    METRICS &operator=(const METRICS &) = delete;

    // Made by startmetrics; null: no metrics are kept (the tick still
    // notes its time, for /healthz). Set up before the game's threads start.
    std::shared_ptr<prometheus::Registry> registry;
    std::vector<std::function<void()>> onscrape; // each part's numbers read at scrape time
    prometheus::Family<prometheus::Gauge> *connections = nullptr;    // open connections, by protocol
    prometheus::Family<prometheus::Counter> *payloadbytes = nullptr; // bytes of answers, by protocol

    // The game's own.
    prometheus::Histogram *tickduration = nullptr;
    prometheus::Counter *ticks = nullptr;
    prometheus::Gauge *burning = nullptr;
    prometheus::Gauge *players = nullptr;
    prometheus::Counter *rounds[3] = {}; // with rounds on, made at the first scrape
    double roundsseen[3] = {};           // what they were told of the rounds' counts
    prometheus::Gauge *roundleft = nullptr;
    std::atomic<int64_t> lasttickns{-1}; // steady clock of the last tick's end
};

// Makes m's registry with the game's metrics and the families the front
// ends share, reading players `p` and rounds `r` at each scrape. Once per
// game, before its threads start.
void startmetrics(METRICS &m, PLAYERS &p, ROUNDS &r);
// With a fleet: whether it is up, the results waiting for it and the age
// of the game's row, read from the lobby `l` at each scrape.
struct LOBBY;
void fleetmetrics(METRICS &m, LOBBY &l);
// Which path the tick computes on, as kindler_tick_path{path=...} 1. Once,
// before the game's threads start.
void tickpathmetric(METRICS &m, const char *path);
// One tick of the game: its duration and the cells that burnt (the
// ticking thread).
void observetick(METRICS &m, double seconds, size_t burning);
// Seconds since the last tick ended, or a negative number before the first.
double sincelasttick(const METRICS &m);
// The text of /metrics now: every part's numbers read, then the registry
// in the Prometheus text format ("" without a registry). One thread
// scrapes (the web's io thread).
std::string scrapemetrics(METRICS &m);
// Now on the steady clock, in nanoseconds (the metrics' ages).
int64_t steadyns();
