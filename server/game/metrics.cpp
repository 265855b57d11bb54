// The game's metrics and the registry they share with its front ends and
// its store.
#include "game/metrics.h"

#include "game/lobby.h"

#include <pthread.h>
#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <chrono>
#include <sstream>

int64_t steadyns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

// The players present, read under playerlist_lock (presentplayers).
void countplayers(METRICS &m, PLAYERS &p) { m.players->Set(presentplayers(p)); }

// The rounds' numbers, read under round_lock (roundview).
void countrounds(METRICS &m, ROUNDS &r)
{
    using namespace prometheus;
    if (r.length <= 0)
        return;
    if (!m.roundleft) {
        auto &ended = BuildCounter().Name("kindler_rounds_total").Help("Rounds ended, by why").Register(*m.registry);
        m.rounds[WHYLIMIT] = &ended.Add({{"why", "limit"}});
        m.rounds[WHYBURNTOUT] = &ended.Add({{"why", "burnt out"}});
        m.roundleft = &BuildGauge()
                           .Name("kindler_round_seconds_left")
                           .Help("Seconds left in the round, or in the intermission after it")
                           .Register(*m.registry)
                           .Add({});
    }
    const ROUNDVIEW v = roundview(r);
    m.roundleft->Set(v.left);
    for (int why : {WHYLIMIT, WHYBURNTOUT}) {
        m.rounds[why]->Increment((double)v.ended[why] - m.roundsseen[why]);
        m.roundsseen[why] = (double)v.ended[why];
    }
}

} // namespace

void startmetrics(METRICS &m, PLAYERS &p, ROUNDS &r)
{
    using namespace prometheus;
    m.registry = std::make_shared<Registry>();
    Registry &reg = *m.registry;
    m.tickduration = &BuildHistogram()
                          .Name("kindler_tick_duration_seconds")
                          .Help("Time one tick of the world took, without the pause between ticks")
                          .Register(reg)
                          .Add({}, Histogram::BucketBoundaries{0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2,
                                                               0.5, 1, 2});
    m.ticks = &BuildCounter().Name("kindler_ticks_total").Help("Ticks of the world").Register(reg).Add({});
    m.burning =
        &BuildGauge().Name("kindler_cells_burning").Help("Cells that burnt in the last tick").Register(reg).Add({});
    m.players = &BuildGauge()
                     .Name("kindler_players_present")
                     .Help("Players logged in and not left (TCP and web)")
                     .Register(reg)
                     .Add({});
    m.connections = &BuildGauge().Name("kindler_connections").Help("Open connections by protocol").Register(reg);
    m.payloadbytes = &BuildCounter()
                          .Name("kindler_payload_bytes_total")
                          .Help("Bytes of answers handed to clients before any framing or compression, by protocol: "
                                "port 3140's answers, HTTP bodies, WebSocket message payloads")
                          .Register(reg);
    m.onscrape.push_back([&m, &p, &r] {
        countrounds(m, r);
        countplayers(m, p);
    });
}

void observetick(METRICS &m, double seconds, size_t burning)
{
    if (m.tickduration) {
        m.tickduration->Observe(seconds);
        m.ticks->Increment();
        m.burning->Set((double)burning);
    }
    m.lasttickns.store(steadyns(), std::memory_order_relaxed);
}

double sincelasttick(const METRICS &m)
{
    const int64_t last = m.lasttickns.load(std::memory_order_relaxed);
    return last < 0 ? -1.0 : (double)(steadyns() - last) / 1e9;
}

std::string scrapemetrics(METRICS &m)
{
    if (!m.registry)
        return "";
    for (const auto &read : m.onscrape)
        read();
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, m.registry->Collect());
    return out.str();
}

void tickpathmetric(METRICS &m, const char *path)
{
    if (!m.registry)
        return;
    prometheus::BuildGauge()
        .Name("kindler_tick_path")
        .Help("How the tick computes (1 for the path in use): x87, avx2 or avx512")
        .Register(*m.registry)
        .Add({{"path", path}})
        .Set(1);
}

void fleetmetrics(METRICS &m, LOBBY &l)
{
    using namespace prometheus;
    if (!m.registry || !l.fleet)
        return;
    Gauge *up = &BuildGauge()
                     .Name("kindler_fleet_up")
                     .Help("1 when the fleet's database answered the last call, else 0")
                     .Register(*m.registry)
                     .Add({});
    Gauge *waiting = &BuildGauge()
                          .Name("kindler_fleet_results_waiting")
                          .Help("Ended rounds' results not yet sent to the fleet")
                          .Register(*m.registry)
                          .Add({});
    Gauge *beatage = &BuildGauge()
                          .Name("kindler_fleet_heartbeat_age_seconds")
                          .Help("Seconds since the game's row was last stored (since start-up before the first)")
                          .Register(*m.registry)
                          .Add({});
    m.onscrape.push_back([&l, up, waiting, beatage] {
        up->Set(l.up.load(std::memory_order_relaxed) ? 1 : 0);
        pthread_mutex_lock(&l.lobby_lock);
        const size_t n = l.outbox.size();
        pthread_mutex_unlock(&l.lobby_lock);
        waiting->Set((double)n);
        const int64_t beat = l.lastbeat.load(std::memory_order_relaxed);
        beatage->Set((double)(lobbyclock() - (beat >= 0 ? beat : l.started.load(std::memory_order_relaxed))) / 1e9);
    });
}
