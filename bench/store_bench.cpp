// The store on the burning 1024 x 1024 world: taking a checkpoint (the
// time oldmap_lock is held), saving it whole into a new file, saving
// again after 10 s of game (100 ticks), restoring it into a game of the
// same map, and the file's size against the world's raw cell data. Then
// the game's pace on that world, a tick every 0.1 s, with and without the
// checkpoint thread saving every 10 s: the tick's p99 and each
// checkpoint's own time and bytes.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "bench.h"
#include "engine/publish.h"
#include "store/checkpointer.h"
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

// What the checkpoint thread reported.
std::mutex seenlock; // guards seen
std::vector<std::pair<double, size_t>> seen; // seconds and bytes of each committed checkpoint

void observe(void *, bool committed, double seconds, size_t bytes)
{
    std::lock_guard<std::mutex> hold(seenlock);
    if (committed)
        seen.emplace_back(seconds, bytes);
}

// state.range(1) ticks at the server's pace; with state.range(2) the
// checkpoint thread saves every 10 s into a new store.
void Paced(benchmark::State &state)
{
    namespace fs = std::filesystem;
    const long size = state.range(0), ticks = state.range(1);
    const bool store = state.range(2) != 0;
    char dir[] = "/tmp/kindler-storebench-XXXXXX";
    const fs::path path = fs::path(mkdtemp(dir)) / "store";
    GAME g;
    makeworld(g.world, size, true, nullptr, &g.tick);
    // The tick's wall time and the process's CPU time in it (both threads):
    // the world keeps burning, so later ticks move more heat and more tags
    // than the tick benchmark's ticks 101 to 103.
    std::vector<double> ms, cpums;
    double tagged = 0; // fraction of cells holding tags at the middle tick
    CHECKPOINTER c;
    seen.clear();
    for (auto _ : state) {
        std::string error;
        if (store) {
            c.game = &g;
            c.store = openstore(path.string(), mapidentityof("meadow", "meadow", 6), error);
            c.observer = observe;
            if (!c.store || !startcheckpointer(c)) {
                state.SkipWithError(error.c_str());
                break;
            }
        }
        for (long t = 0; t < ticks; t++) {
            const auto from = std::chrono::steady_clock::now();
            const std::clock_t cpu = std::clock();
            dophys(g.world, g.tick);
            ms.push_back(since(from));
            cpums.push_back(1e3 * (double)(std::clock() - cpu) / CLOCKS_PER_SEC);
            if (t == ticks / 2)
                tagged = (double)g.world.oldmap->tagged.size() / (double)ncells(g.world);
            if (store)
                checkpointticked(c);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (store)
            stopcheckpointer(c, error);
    }
    std::sort(ms.begin(), ms.end());
    state.counters["tick_p50_ms"] = ms[ms.size() / 2];
    state.counters["tick_p99_ms"] = ms[(ms.size() * 99) / 100];
    state.counters["tick_max_ms"] = ms.back();
    std::sort(cpums.begin(), cpums.end());
    state.counters["tick_cpu_p50_ms"] = cpums[cpums.size() / 2];
    state.counters["tagged_mid"] = tagged;
    if (store) {
        std::lock_guard<std::mutex> hold(seenlock);
        // The first checkpoint of a new store writes every tile, the later
        // ones what changed; the last is the one taken at the end.
        state.counters["checkpoints"] = (double)seen.size();
        for (size_t i = 0; i < seen.size() && i < 3; i++) {
            state.counters["ckpt" + std::to_string(i + 1) + "_ms"] = seen[i].first * 1e3;
            state.counters["ckpt" + std::to_string(i + 1) + "_MB"] = (double)seen[i].second / 1e6;
        }
    }
    fs::remove_all(dir);
}

} // namespace

void registerstorebenchmarks()
{
    benchmark::RegisterBenchmark("checkpoint", Checkpoint)->Arg(1024)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    // 30 s of game at least: three checkpoints fall among the 300 ticks.
    benchmark::RegisterBenchmark("paced", Paced)
        ->ArgNames({"size", "ticks", "store"})
        ->Args({1024, 300, 0})
        ->Args({1024, 300, 1})
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}
