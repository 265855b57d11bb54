// The store on the burning 1024 x 1024 world: taking a checkpoint (the
// time oldmap_lock is held), saving it whole into a new file, saving
// again after 10 s of game (100 ticks), restoring it into a game of the
// same map, and the file's size against the world's raw cell data.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>

#include "bench.h"
#include "publish.h"
#include "store/store.h"

namespace {

double since(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

void Checkpoint(benchmark::State &state)
{
    namespace fs = std::filesystem;
    const long size = state.range(0);
    char dir[] = "/tmp/kindler-storebench-XXXXXX";
    const fs::path path = fs::path(mkdtemp(dir)) / "store";
    const MAPID map = mapidentityof("meadow", "meadow", 6);
    GAME g;
    makeworld(g.world, size, true, nullptr);
    CHECKPOINT c;
    double takems = 0, takeagainms = 0, fullms = 0, laterms = 0, restorems = 0, fullbytes = 0, laterbytes = 0, latertiles = 0;
    double filebytes = 0;
    for (auto _ : state) {
        std::string error;
        auto s = openstore(path.string(), map, error);
        auto from = std::chrono::steady_clock::now();
        takecheckpoint(g, c);
        takems = since(from);
        SAVEREPORT r;
        if (!s || !savecheckpoint(*s, c, r, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        fullms = r.seconds * 1e3;
        fullbytes = (double)r.bytes;
        for (int t = 0; t < 100; t++)
            dophys(g.world, g.tick);
        from = std::chrono::steady_clock::now();
        takecheckpoint(g, c);
        takeagainms = since(from);
        savecheckpoint(*s, c, r, error);
        laterms = r.seconds * 1e3;
        laterbytes = (double)r.bytes;
        latertiles = (double)r.tiles;
        filebytes = (double)fs::file_size(path);
        if (fs::exists(path.string() + "-wal"))
            filebytes += (double)fs::file_size(path.string() + "-wal");
        closestore(s);
        GAME fresh;
        makeworld(fresh.world, size, false, nullptr);
        from = std::chrono::steady_clock::now();
        s = openstore(path.string(), map, error);
        if (!s || restorecheckpoint(*s, fresh, error) != 1) {
            state.SkipWithError(error.c_str());
            break;
        }
        restorems = since(from);
    }
    // Raw cell data: every cell's heat and fuel and every tagged cell's
    // fifteen slots, as 80-bit values and 32-bit tags.
    const double raw = (double)(size * size) * 20 + (double)c.tagged.size() * (double)NUMSLOTS * 14;
    state.counters["take_ms"] = takems;             // the first: the buffers grow
    state.counters["take_again_ms"] = takeagainms; // buffers reused
    state.counters["save_whole_ms"] = fullms;
    state.counters["save_whole_MB"] = fullbytes / 1e6;
    state.counters["save_10s_ms"] = laterms;
    state.counters["save_10s_MB"] = laterbytes / 1e6;
    state.counters["save_10s_tiles"] = latertiles;
    state.counters["restore_ms"] = restorems;
    state.counters["file_MB"] = filebytes / 1e6;
    state.counters["raw_MB"] = raw / 1e6;
    state.counters["file_per_raw"] = filebytes / raw;
    state.counters["tagged"] = (double)c.tagged.size() / (double)(size * size);
    fs::remove_all(dir);
}

} // namespace

void registerstorebenchmarks()
{
    benchmark::RegisterBenchmark("checkpoint", Checkpoint)->Arg(1024)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}
