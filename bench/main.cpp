// The benchmark program: runs every benchmark (Google Benchmark's own
// report first), then prints one summary table.
//
//     make bench                      # build and run all
//     build-bench/kindler-bench --benchmark_filter=fast_tick
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "bench.h"
#include "protocol.h"

namespace {

struct RESULT {
    double realms = 0; // real time per iteration, ms
    std::map<std::string, double> counters;
    double bytespersecond = 0;
};

std::map<std::string, RESULT> results; // "function/args"

struct TABLEREPORTER : benchmark::ConsoleReporter {
    void ReportRuns(const std::vector<Run> &runs) override
    {
        benchmark::ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred)
                continue;
            RESULT res;
            res.realms = r.GetAdjustedRealTime() * (r.time_unit == benchmark::kMillisecond ? 1.0
                                                    : r.time_unit == benchmark::kMicrosecond ? 1e-3
                                                    : r.time_unit == benchmark::kNanosecond ? 1e-6 : 1e3);
            for (const auto &c : r.counters) {
                res.counters[c.first] = c.second.value;
                if (c.first == "bytes_per_second")
                    res.bytespersecond = c.second.value;
            }
            results[r.run_name.function_name + "/" + r.run_name.args] = res;
        }
    }
};

double counter(const std::string &key, const std::string &name)
{
    auto it = results.find(key);
    if (it == results.end())
        return 0;
    auto c = it->second.counters.find(name);
    return c == it->second.counters.end() ? 0 : c->second;
}

// The web stream's rows: one per zlib setting measured.
void printstream()
{
    bool any = false;
    for (const auto &r : results) {
        if (r.first.rfind("stream/", 0) != 0)
            continue;
        if (!any)
            std::printf("\n| web stream, 1024 x 1024 burning | level/strategy | view 160 x 100 KB/s | whole map MB/s | "
                        "bytes/cell/tick | encode ms/tick | draw ms | changed ms | tiles ms (view alone) | changed tiles | "
                        "key frame view KB | key frame map KB | key frame map ms |\n|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
        any = true;
        const std::string &k = r.first;
        std::printf("| 30 ticks after the warm-up | %s | %.1f | %.2f | %.3f | %.2f | %.2f | %.2f | %.2f (%.2f) | %.0f | %.1f | %.0f | %.1f |\n",
                    k.substr(7).c_str(), counter(k, "view_KB_per_s"), counter(k, "map_MB_per_s"),
                    counter(k, "map_bytes_per_cell"), counter(k, "encode_ms"), counter(k, "draw_ms"),
                    counter(k, "changed_ms"), counter(k, "tiles_ms"), counter(k, "view_tiles_ms"), counter(k, "changed_tiles"),
                    counter(k, "key_view_KB"), counter(k, "key_map_KB"), counter(k, "key_map_ms"));
    }
    if (any)
        std::printf("(level/strategy: zlib's for whole tiles, strategy 0 default, 2 Huffman only, 3 RLE; \"getmap;\" "
                    "at 10 ticks a second on 1024 x 1024: %.0f MB/s; drawing the cold 1024 x 1024 world: %.2f ms)\n",
                    40.0 * 1024 * 1024 * 10 / 1e6, counter("stream/1/0", "cold_draw_ms"));
}

void printtable()
{
    std::printf("\n== Summary ==\n\n");
    std::printf("| map | world | fast tick ms | fast ns/cell | plain tick ms | plain ns/cell | ratio | bytes/cell | burning | tagged |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (long size : {256L, 512L, 1024L})
        for (int burning : {0, 1}) {
            std::string args = std::to_string(size) + "/" + std::to_string(burning);
            auto f = results.find("fast_tick/" + args), p = results.find("plain_tick/" + args);
            if (f == results.end())
                continue;
            double cells = (double)size * (double)size;
            double fastms = f->second.realms, plainms = p == results.end() ? 0 : p->second.realms;
            std::printf("| %ld x %ld | %s | %.3f | %.2f | %.1f | %.1f | %.1fx | %.1f | %.3f | %.3f |\n", size, size,
                        burning ? "burning" : "cold", fastms, fastms * 1e6 / cells, plainms, plainms * 1e6 / cells,
                        fastms > 0 ? plainms / fastms : 0, counter("fast_tick/" + args, "bytes_per_cell"),
                        counter("fast_tick/" + args, "burning"), counter("fast_tick/" + args, "tagged"));
        }
    auto f256 = results.find("fast_tick/256/1"), f1024 = results.find("fast_tick/1024/1");
    auto c256 = results.find("fast_tick/256/0"), c1024 = results.find("fast_tick/1024/0");
    if (c256 != results.end() && c1024 != results.end())
        std::printf("\nLinearity, cold: 1024 x 1024 tick / (16 x 256 x 256 tick) = %.2f\n",
                    c1024->second.realms / (16 * c256->second.realms));
    if (f256 != results.end() && f1024 != results.end())
        std::printf("Linearity, burning: 1024 x 1024 tick / (16 x 256 x 256 tick) = %.2f\n",
                    f1024->second.realms / (16 * f256->second.realms));

    std::printf("\n| answer | map | MB/s |\n|---|---|---|\n");
    for (const char *cmd : {"getmap", "getallmap"})
        for (long size : {512L, 1024L}) {
            auto r = results.find(std::string(cmd) + "/" + std::to_string(size) + "/" + (cmd[3] == 'a' ? "1" : "0"));
            if (r != results.end())
                std::printf("| \"%s;\" | %ld x %ld | %.0f |\n", cmd, size, size, r->second.bytespersecond / 1e6);
        }
    auto t = results.find("twenty_getallmap/512");
    if (t != results.end())
        std::printf("\n20 clients \"%s\" at once on 512 x 512: peak resident rise %.2f pictures (%.1f MB each)\n",
                    strgetallmap, counter("twenty_getallmap/512", "peak_rise_pictures"), counter("twenty_getallmap/512", "picture_MB"));
    auto v = results.find("version_under_load/1024");
    if (v != results.end())
        std::printf("\"%s\" round trip while 8 clients fetch \"%s\" (1024 x 1024): median %.0f us, p99 %.0f us\n",
                    strversion, strgetmap, counter("version_under_load/1024", "median_us"), counter("version_under_load/1024", "p99_us"));
    printstream();
    if (results.count("web_spectators/"))
        std::printf("\n200 WebSocket spectators (160 x 100 views) on a burning 512 x 512 world: tick %.2f ms alone, "
                    "%.2f ms watched (%+.1f%%); publish to receipt p50 %.1f ms, p99 %.1f ms over %.0f frames, "
                    "%.0f ticks coalesced; server memory +%.1f MB\n",
                    counter("web_spectators/", "tick_ms_alone"), counter("web_spectators/", "tick_ms_watched"),
                    counter("web_spectators/", "slowdown_pct"), counter("web_spectators/", "p50_ms"),
                    counter("web_spectators/", "p99_ms"), counter("web_spectators/", "frames"),
                    counter("web_spectators/", "coalesced"), counter("web_spectators/", "rss_rise_MB"));
}

} // namespace

int main(int argc, char **argv)
{
    registernetbenchmarks();
    registertickbenchmarks();
    registerstreambenchmarks();
    registerwebbenchmarks();
    registerstorebenchmarks();
    registerfleetbenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TABLEREPORTER reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    stopnetserver();
    releaseworlds();
    releasestreamworlds();
    printtable();
    benchmark::Shutdown();
    return 0;
}
