// Metrics through prometheus-cpp. The library's families and metrics are
// thread-safe (each guards itself); the numbers the TCP side keeps in
// lock-free counters are read at scrape time.
#include "web/metrics.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>

#include "tcp/transfer.h"

namespace {

struct METRICS {
    std::shared_ptr<prometheus::Registry> registry;
    prometheus::Histogram *tickduration = nullptr;
    prometheus::Counter *ticks = nullptr;
    prometheus::Gauge *burning = nullptr;
    prometheus::Gauge *players = nullptr;
    prometheus::Gauge *tcpconns = nullptr;
    prometheus::Gauge *wsconns = nullptr;
    prometheus::Gauge *webconns = nullptr;
    prometheus::Counter *tcpbytes = nullptr;
    prometheus::Counter *counts[WEBCOUNTS] = {};
    double tcpbytesseen = 0; // what tcpbytes has been told of tcpbytessent
    prometheus::Histogram *checkpointseconds = nullptr; // these four with a store only
    prometheus::Counter *checkpointbytes = nullptr;
    prometheus::Gauge *checkpointage = nullptr;
    prometheus::Counter *checkpointfailures = nullptr;
    // With rounds on, made at the first scrape: rounds ended by why (and
    // what they were told of the game's counts), the time left.
    prometheus::Counter *rounds[3] = {};
    double roundsseen[3] = {};
    prometheus::Gauge *roundleft = nullptr;
    prometheus::Gauge *tickpath = nullptr;
};

METRICS m;
std::atomic<int64_t> lasttickns{-1}; // steady clock of the last tick's end
std::atomic<int64_t> lastcommitns{-1}; // steady clock of the last committed checkpoint

int64_t nowns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void initmetrics()
{
    using namespace prometheus;
    if (m.registry)
        return; // made by an earlier endpoint of this process
    m.registry = std::make_shared<Registry>();
    Registry &r = *m.registry;
    m.tickduration = &BuildHistogram()
                          .Name("kindler_tick_duration_seconds")
                          .Help("Time one tick of the world took, without the pause between ticks")
                          .Register(r)
                          .Add({}, Histogram::BucketBoundaries{0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2,
                                                               0.5, 1, 2});
    m.ticks = &BuildCounter().Name("kindler_ticks_total").Help("Ticks of the world").Register(r).Add({});
    m.burning = &BuildGauge().Name("kindler_cells_burning").Help("Cells that burnt in the last tick").Register(r).Add({});
    m.players = &BuildGauge()
                     .Name("kindler_players_present")
                     .Help("Players logged in and not left (TCP and web)")
                     .Register(r)
                     .Add({});
    auto &conns = BuildGauge().Name("kindler_connections").Help("Open connections by protocol").Register(r);
    m.tcpconns = &conns.Add({{"protocol", "tcp"}});
    m.wsconns = &conns.Add({{"protocol", "websocket"}});
    auto &bytes = BuildCounter()
                       .Name("kindler_payload_bytes_total")
                       .Help("Bytes of answers handed to clients before any framing or compression, by protocol: "
                             "port 3140's answers, HTTP bodies, WebSocket message payloads").Register(r);
    m.tcpbytes = &bytes.Add({{"protocol", "tcp"}});
    m.counts[WSBYTESSENT] = &bytes.Add({{"protocol", "websocket"}});
    m.counts[HTTPBYTESSENT] = &bytes.Add({{"protocol", "http"}});
    m.counts[FRAMESSENT] =
        &BuildCounter().Name("kindler_stream_frames_sent_total").Help("Stream frames sent to web clients").Register(r).Add({});
    m.counts[FRAMESCOALESCED] = &BuildCounter()
                                     .Name("kindler_stream_frames_coalesced_total")
                                     .Help("Ticks a slow web client skipped, getting a later state instead")
                                     .Register(r)
                                     .Add({});
    auto &dropped = BuildCounter()
                        .Name("kindler_web_actions_dropped_total")
                        .Help("Web players' actions not taken, by kind and reason")
                        .Register(r);
    m.counts[MOVESDROPPED] = &dropped.Add({{"action", "move"}, {"reason", "rate"}});
    m.counts[FIRESDROPPED] = &dropped.Add({{"action", "fire"}, {"reason", "rate"}});
    m.counts[MOVESREFUSED] = &dropped.Add({{"action", "move"}, {"reason", "refused"}});
    m.webconns = &BuildGauge()
                      .Name("kindler_web_connections")
                      .Help("Connections the web port holds, HTTP and WebSocket (capped by --max-connections)")
                      .Register(r)
                      .Add({});
    auto &refused = BuildCounter()
                        .Name("kindler_web_connections_refused_total")
                        .Help("Web connections and WebSocket upgrades refused, by the limit that refused them")
                        .Register(r);
    m.counts[REFUSEDADDRESS] = &refused.Add({{"limit", "address"}});
    m.counts[REFUSEDTOTAL] = &refused.Add({{"limit", "total"}});
    m.counts[REFUSEDDESCRIPTORS] = &refused.Add({{"limit", "descriptors"}});
    m.counts[REFUSEDWEBSOCKETS] = &refused.Add({{"limit", "websockets"}});
    m.counts[REFUSEDORIGIN] = &refused.Add({{"limit", "origin"}});
    auto &joins = BuildCounter()
                      .Name("kindler_web_joins_refused_total")
                      .Help("Web JOINs refused by the rate limits, answered as a failed join")
                      .Register(r);
    m.counts[JOINSREFUSEDCONNECTION] = &joins.Add({{"limit", "connection"}});
    m.counts[JOINSREFUSEDADDRESS] = &joins.Add({{"limit", "address"}});
    auto &resumes = BuildCounter()
                        .Name("kindler_resumes_total")
                        .Help("Web RESUMEs: a kept or played player given back, or an unknown token")
                        .Register(r);
    m.counts[RESUMED] = &resumes.Add({{"result", "resumed"}});
    m.counts[RESUMEUNKNOWN] = &resumes.Add({{"result", "unknown"}});
}

void initcheckpointmetrics()
{
    using namespace prometheus;
    initmetrics();
    if (m.checkpointseconds)
        return;
    Registry &r = *m.registry;
    m.checkpointseconds = &BuildHistogram()
                               .Name("kindler_checkpoint_seconds")
                               .Help("Time one checkpoint took: the copy of the game and its save into the store")
                               .Register(r)
                               .Add({}, Histogram::BucketBoundaries{0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10});
    m.checkpointbytes = &BuildCounter()
                             .Name("kindler_checkpoint_bytes_total")
                             .Help("Bytes of tiles, players and world records the checkpoints wrote")
                             .Register(r)
                             .Add({});
    m.checkpointage = &BuildGauge()
                           .Name("kindler_checkpoint_age_seconds")
                           .Help("Seconds since the last committed checkpoint (since start-up before the first)")
                           .Register(r)
                           .Add({});
    m.checkpointfailures = &BuildCounter()
                                .Name("kindler_checkpoint_failures_total")
                                .Help("Checkpoints that failed to save (the game goes on; the next one tries again)")
                                .Register(r)
                                .Add({});
    lastcommitns.store(nowns(), std::memory_order_relaxed);
}

void observecheckpoint(bool committed, double seconds, size_t bytes)
{
    if (!m.checkpointseconds)
        return;
    m.checkpointseconds->Observe(seconds);
    if (committed) {
        m.checkpointbytes->Increment((double)bytes);
        lastcommitns.store(nowns(), std::memory_order_relaxed);
    } else {
        m.checkpointfailures->Increment();
    }
}

void countweb(WEBCOUNT what, double n)
{
    if (m.counts[what])
        m.counts[what]->Increment(n);
}

void observetick(double seconds, size_t burning)
{
    m.tickduration->Observe(seconds);
    m.ticks->Increment();
    m.burning->Set((double)burning);
    lasttickns.store(nowns(), std::memory_order_relaxed);
}

void setwebsockets(int n) { m.wsconns->Set(n); }

void setwebconnections(int n) { m.webconns->Set(n); }

double sincelasttick()
{
    int64_t last = lasttickns.load(std::memory_order_relaxed);
    return last < 0 ? -1.0 : (double)(nowns() - last) / 1e9;
}

// The rounds' numbers, read from the game at scrape time (metricstext runs
// in the web's io thread only).
static void roundmetrics(GAME &g)
{
    using namespace prometheus;
    if (g.rounds.length <= 0)
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
    const ROUNDVIEW v = roundview(g.rounds);
    m.roundleft->Set(v.left);
    for (int why : {WHYLIMIT, WHYBURNTOUT}) {
        m.rounds[why]->Increment((double)v.ended[why] - m.roundsseen[why]);
        m.roundsseen[why] = (double)v.ended[why];
    }
}

std::string metricstext(GAME &g)
{
    roundmetrics(g);
    if (!m.tickpath) // the path is set at start-up, before any thread
        m.tickpath = &prometheus::BuildGauge()
                          .Name("kindler_tick_path")
                          .Help("How the tick computes (1 for the path in use): x87, avx2 or avx512")
                          .Register(*m.registry)
                          .Add({{"path", tickpathname(g.tick.path)}});
    m.tickpath->Set(1);
    PLAYERS &p = g.players;
    int present = 0;
    pthread_mutex_lock(&p.playerlist_lock);
    for (int i = 0; i < p.numplayers; i++)
        present += p.playerlist[i].num >= 0;
    pthread_mutex_unlock(&p.playerlist_lock);
    m.players->Set(present);
    m.tcpconns->Set(g.connections.load(std::memory_order_relaxed));
    const double sent = (double)tcpbytessent.load(std::memory_order_relaxed);
    m.tcpbytes->Increment(sent - m.tcpbytesseen);
    m.tcpbytesseen = sent;
    if (m.checkpointage)
        m.checkpointage->Set((double)(nowns() - lastcommitns.load(std::memory_order_relaxed)) / 1e9);
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, m.registry->Collect());
    return out.str();
}
