// Benchmarks of the tick: the fast tick on the compact world and the plain
// reference tick (tests/oracle) on the same generated worlds, cold and
// burning, at 256 x 256, 512 x 512 and 1024 x 1024 cells.
#include "bench.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>

#include "grid.h"
#include "oracle.h"

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

void makeworld(COMPACTWORLD &c, long size, bool burning, WORLDSTATS *stats)
{
    compactinit(c, size, size);
    c.types.clear();
    MAPUNIT cell = meadowcell();
    for (size_t i = 0; i < c.type.size(); i++)
        compactput(c, i, cell);
    c.outside = meadowcell();
    c.outside.fuellevel = 0;
    if (burning) {
        std::mt19937_64 rng(1024);
        size_t n = c.type.size();
        int tag = 1;
        for (size_t block = 0; block + 4096 <= n; block += 4096) {
            // One burning cell, and one player's five fires.
            size_t b = block + rng() % 4096;
            c.heat[c.pub][b] = 600 * cell.calperc;
            size_t f = block + rng() % 4096;
            for (int k = 0; k < 5; k++)
                compactfire(c, f, tag);
            tag++;
        }
        for (int t = 0; t < 100; t++)
            compacttick(c, 0.1);
    }
    if (stats) {
        size_t n = c.type.size(), hot = 0;
        for (size_t i = 0; i < n; i++)
            if (c.heat[c.pub][i] / cell.calperc >= cell.ignitionpoint && c.fuel[i] > 0)
                hot++;
        stats->burning = (double)hot / (double)n;
        stats->tagged = (double)c.buf[c.pub].tagged.size() / (double)n;
        stats->bytespercell = compactbytespercell(c);
    }
}

namespace {

// Burning worlds are measured over the ticks right after the warm-up, 101
// to 103, for every size: a world that went on burning would hold more
// fire and more tags, so longer runs start again from the warmed-up state.
enum { MEASUREDTICKS = 3 };

struct CACHED {
    COMPACTWORLD world;
    WORLDSTATS stats;
};

// to becomes a copy of from, its buffers pointing into itself.
void copyworld(COMPACTWORLD &to, const COMPACTWORLD &from)
{
    to.sizex = from.sizex;
    to.sizey = from.sizey;
    to.types = from.types;
    to.type = from.type;
    to.fuel = from.fuel;
    for (int b = 0; b < 2; b++) {
        to.heat[b] = from.heat[b];
        to.attrindex[b] = from.attrindex[b];
        to.buf[b].pool = from.buf[b].pool;
        to.buf[b].tagged = from.buf[b].tagged;
        to.buf[b].heat = to.heat[b].data();
        to.buf[b].attrindex = to.attrindex[b].data();
    }
    to.pub = from.pub;
    to.outside = from.outside;
    to.settle = from.settle;
}

std::map<std::pair<long, bool>, std::unique_ptr<CACHED>> worlds;

CACHED &world(long size, bool burning)
{
    auto &slot = worlds[{size, burning}];
    if (!slot) {
        slot = std::make_unique<CACHED>();
        makeworld(slot->world, size, burning, &slot->stats);
    }
    return *slot;
}

void FastTick(benchmark::State &state)
{
    long size = state.range(0);
    bool burning = state.range(1) != 0;
    CACHED &w = world(size, burning);
    if (!burning) {
        for (auto _ : state)
            compacttick(w.world, 0.1);
    } else {
        COMPACTWORLD warm;
        copyworld(warm, w.world);
        int t = 0;
        for (auto _ : state) {
            if (t++ % MEASUREDTICKS == 0) {
                state.PauseTiming();
                copyworld(w.world, warm);
                state.ResumeTiming();
            }
            compacttick(w.world, 0.1);
        }
    }
    state.counters["ns_per_cell"] = benchmark::Counter((double)(size * size), benchmark::Counter::kIsIterationInvariantRate |
                                                                                   benchmark::Counter::kInvert);
    state.counters["bytes_per_cell"] = w.stats.bytespercell;
    state.counters["burning"] = w.stats.burning;
    state.counters["tagged"] = w.stats.tagged;
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
    ORACLEWORLD o;
    o.sizex = o.sizey = size;
    o.interval = 0.1;
    o.oldmap.resize((size_t)(size * size));
    o.curmap.resize((size_t)(size * size));
    for (size_t i = 0; i < o.oldmap.size(); i++) {
        MAPUNIT m = compactget(w.world, i);
        ORACELL &d = o.oldmap[i];
        d.totalcal = m.totalcal;
        d.cocon = m.cocon;
        d.calperc = m.calperc;
        d.ignitionpoint = m.ignitionpoint;
        d.fuellevel = m.fuellevel;
        d.calperf = m.calperf;
        d.burnspeed = m.burnspeed;
        d.block = m.block;
        for (int s = 0; s < NUMSLOTS; s++) {
            d.heatsource[s] = m.heatsource[s];
            d.sourcequan[s] = m.sourcequan[s];
        }
    }
    MAPUNIT out = w.world.outside;
    o.outside.totalcal = out.totalcal;
    o.outside.cocon = out.cocon;
    o.outside.calperc = out.calperc;
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
            auto *fast = benchmark::RegisterBenchmark("fast_tick", FastTick)->Args({size, burning})->Unit(benchmark::kMillisecond)->UseRealTime();
            if (burning)
                fast->Iterations(ticks);
            else
                fast->MinTime(1.0);
            benchmark::RegisterBenchmark("plain_tick", OracleTick)
                ->Args({size, burning})
                ->Unit(benchmark::kMillisecond)
                ->Iterations(ticks)
                ->UseRealTime();
        }
}

void releaseworlds() { worlds.clear(); }
