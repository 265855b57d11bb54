// Benchmarks of the tick: the server's tick and the plain reference tick
// (tests/oracle) on the same generated worlds, cold and burning, at
// 256 x 256, 512 x 512 and 1024 x 1024 cells.
#include "bench.h"
#include "engine/cells.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "bridge.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "engine/published.h"
#include "engine/snapshot.h"

// The generated world's material: a dry meadow that catches fire from a
// burning neighbour within a few ticks: after 100 ticks about an eighth
// of the cells burn and a third hold tags.
static MAPUNIT meadowcell()
{
    MAPUNIT m;
    std::memset(&m, 0, sizeof m);
    m.cocon = 1;
    m.calperc = 2;
    m.ignitionpoint = 120;
    m.fuellevel = 30;
    m.calperf = 800;
    m.burnspeed = 3;
    m.totalcal = 20 * m.calperc;
    return m;
}

void makeworld(WORLD &c, long size, bool burning, WORLDSTATS *stats, TICKSTATE *tick)
{
    allocworld(c, size, size);
    MAPUNIT cell = meadowcell();
    for (size_t i = 0; i < ncells(c); i++)
        setpubcell(c, i, cell);
    c.outside = meadowcell();
    c.outside.fuellevel = 0;
    if (burning) {
        std::mt19937_64 rng(1024);
        size_t n = ncells(c);
        int tag = 1;
        for (size_t block = 0; block + 4096 <= n; block += 4096) {
            // One burning cell, and one player's five fires.
            size_t b = block + rng() % 4096;
            MAPUNIT hot = cell;
            hot.totalcal = 600 * cell.calperc;
            setpubcell(c, b, hot);
            size_t f = block + rng() % 4096;
            for (int k = 0; k < 5; k++)
                addfire(c, (long)(f / (size_t)size), (long)(f % (size_t)size), tag);
            tag++;
        }
        TICKSTATE own;
        TICKSTATE &ct = tick ? *tick : own;
        for (int t = 0; t < 100; t++)
            dophys(c, ct);
    }
    if (stats) {
        size_t n = ncells(c), hot = 0;
        for (size_t i = 0; i < n; i++)
            if (pubheat(c, i) / cell.calperc >= cell.ignitionpoint && pubfuel(c, i) > 0)
                hot++;
        stats->burning = (double)hot / (double)n;
        stats->tagged = (double)taggedcells(c) / (double)n;
        stats->bytespercell = worldbytespercell(c);
    }
}

namespace {

// Burning worlds are measured over the ticks right after the warm-up, 101
// to 103, for every size: a world that went on burning would hold more
// fire and more tags, so longer runs start again from the warmed-up state.
enum { MEASUREDTICKS = 3 };

struct CACHED {
    WORLD world;
    TICKSTATE tick;
    WORLDSTATS stats;
};


std::map<std::pair<long, bool>, std::unique_ptr<CACHED>> worlds;

CACHED &world(long size, bool burning)
{
    auto &slot = worlds[{size, burning}];
    if (!slot) {
        slot = std::make_unique<CACHED>();
        makeworld(slot->world, size, burning, &slot->stats, &slot->tick);
    }
    return *slot;
}

void FastTick(benchmark::State &state)
{
    long size = state.range(0);
    bool burning = state.range(1) != 0;
    CACHED &w = world(size, burning);
    w.tick.path = (TICKPATH)state.range(2);
    w.tick.paircolumns = w.tick.x87columns = 0;
    if (!burning) {
        for (auto _ : state)
            dophys(w.world, w.tick);
    } else {
        WORLD warm;
        copyworld(warm, w.world);
        int t = 0;
        for (auto _ : state) {
            if (t++ % MEASUREDTICKS == 0) {
                state.PauseTiming();
                copyworld(w.world, warm);
                state.ResumeTiming();
            }
            dophys(w.world, w.tick);
        }
    }
    state.counters["ns_per_cell"] = benchmark::Counter((double)(size * size), benchmark::Counter::kIsIterationInvariantRate |
                                                                                   benchmark::Counter::kInvert);
    state.counters["bytes_per_cell"] = w.stats.bytespercell;
    state.counters["burning"] = w.stats.burning;
    state.counters["tagged"] = w.stats.tagged;
    if (w.tick.paircolumns + w.tick.x87columns)
        state.counters["x87_columns"] = (double)w.tick.x87columns / (double)(w.tick.paircolumns + w.tick.x87columns);
}

// The plain tick on a copy of the same world (taken from the fast world
// after its warm-up, so both measure the same state).
void OracleTick(benchmark::State &state)
{
    long size = state.range(0);
    bool burning = state.range(1) != 0;
    // A world of its own, generated and warmed up like the fast one.
    CACHED w;
    makeworld(w.world, size, burning, nullptr);
    ORACLEWORLD o = oracle_snapshot(w.world);
    const std::vector<ORACELL> warm = o.oldmap;
    int t = 0;
    for (auto _ : state) {
        if (burning && t++ % MEASUREDTICKS == 0) {
            state.PauseTiming();
            o.oldmap = warm;
            state.ResumeTiming();
        }
        oracle_tick(o);
    }
    state.counters["ns_per_cell"] = benchmark::Counter((double)(size * size), benchmark::Counter::kIsIterationInvariantRate |
                                                                                   benchmark::Counter::kInvert);
}

} // namespace

void registertickbenchmarks()
{
    for (long size : {256L, 512L, 1024L})
        for (int burning : {0, 1}) {
            // Burning: both ticks over the same ticks after the warm-up,
            // repeated so that every size runs as many cell-ticks (a few
            // 256 x 256 ticks would show the machine's noise more than
            // the tick).
            const int ticks = MEASUREDTICKS * (size >= 1024 ? 1 : size >= 512 ? 4 : 16);
            // The fast tick on each path this processor runs.
            for (TICKPATH path : {TICKPATH::x87, TICKPATH::avx2, TICKPATH::avx512}) {
                if (!tickpathrunnable(path))
                    continue;
                auto *fast = benchmark::RegisterBenchmark((std::string("fast_tick_") + tickpathname(path)).c_str(), FastTick)
                                 ->Args({size, burning, (long)path})
                                 ->Unit(benchmark::kMillisecond)
                                 ->UseRealTime()
                                 ->MeasureProcessCPUTime();
                if (burning)
                    fast->Iterations(ticks);
                else
                    fast->MinTime(1.0);
            }
            benchmark::RegisterBenchmark("plain_tick", OracleTick)
                ->Args({size, burning})
                ->Unit(benchmark::kMillisecond)
                ->Iterations(ticks)
                ->UseRealTime();
        }
}

void releaseworlds() { worlds.clear(); }
