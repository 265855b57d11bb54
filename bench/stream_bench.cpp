// The web stream on the burning 1024 x 1024 world, 30 ticks after the
// warm-up: bytes a second for a 160 x 100 view and for the whole map after
// their key frames, and the work per tick (drawing, finding the changed
// tiles, encoding them). The ticks are drawn once and replayed through the
// codec for each zlib setting of whole tiles.
#include "bench.h"
#include "engine/published.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "engine/publish.h"
#include "streamcodec.h"
#include "web/drawworld.h"

namespace {

constexpr int STREAMTICKS = 30;

const CELLRECT VIEWRECT = {432, 462, 160, 100}; // not on tile edges: 11 x 8 tiles
const CELLRECT MAPRECT = {0, 0, 1024, 1024};

double msince(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

// The drawn values of the warmed-up world and of the 30 ticks after it,
// and what drawing them took.
struct RECORDED {
    std::vector<DRAWN> ticks;
    double drawms = 0;     // mean over the ticks
    double colddrawms = 0; // the cold 1024 x 1024 world, mean of 10
};

std::unique_ptr<RECORDED> recorded;

const RECORDED &record()
{
    if (recorded)
        return *recorded;
    recorded = std::make_unique<RECORDED>();
    auto w = std::make_unique<WORLD>();
    makeworld(*w, 1024, true, nullptr);
    recorded->ticks.resize(STREAMTICKS + 1);
    TICKSTATE tick;
    DRAWN drawing; // drawn into again and again, as the codec's buffers are
    for (int t = 0; t <= STREAMTICKS; t++) {
        if (t > 0)
            dophys(*w, tick);
        double ms = 0;
        readpublished(*w, [&](const WORLD &pw) {
            const auto from = std::chrono::steady_clock::now();
            drawworld(pw, drawing);
            ms = msince(from);
        });
        recorded->ticks[(size_t)t] = drawing;
        if (t > 0)
            recorded->drawms += ms / STREAMTICKS;
    }
    w = std::make_unique<WORLD>();
    makeworld(*w, 1024, false, nullptr);
    for (int t = 0; t < 10; t++) {
        readpublished(*w, [&](const WORLD &pw) {
            const auto from = std::chrono::steady_clock::now();
            drawworld(pw, drawing);
            recorded->colddrawms += msince(from) / 10;
        });
    }
    return *recorded;
}

// Replays the recorded ticks through a codec deflating at (level,
// strategy), for a client of the view and one of the whole map.
void StreamBurning(benchmark::State &state)
{
    const RECORDED &r = record();
    double detectms = 0, tilesms = 0, viewms = 0, keyms = 0;
    size_t viewbytes = 0, mapbytes = 0, keyview = 0, keymap = 0, changed = 0;
    for (auto _ : state) {
        STREAMCODEC codec;
        tunedeflater(codec.deflater, (int)state.range(0), (int)state.range(1));
        nextdrawing(codec) = r.ticks[0];
        publishtick(codec);
        auto from = std::chrono::steady_clock::now();
        FRAME v = buildframe(codec, VIEWRECT, LASTFRAME{});
        FRAME m = buildframe(codec, MAPRECT, LASTFRAME{});
        keyms = msince(from);
        keyview = v.bytes();
        keymap = m.bytes();
        LASTFRAME lv = sentframe(v), lm = sentframe(m);
        detectms = tilesms = viewms = 0;
        viewbytes = mapbytes = changed = 0;
        for (int t = 1; t <= STREAMTICKS; t++) {
            nextdrawing(codec) = r.ticks[(size_t)t];
            from = std::chrono::steady_clock::now();
            publishtick(codec);
            detectms += msince(from);
            from = std::chrono::steady_clock::now();
            v = buildframe(codec, VIEWRECT, lv);
            viewms += msince(from);
            m = buildframe(codec, MAPRECT, lm);
            tilesms += msince(from);
            lv = sentframe(v);
            lm = sentframe(m);
            viewbytes += v.bytes();
            mapbytes += m.bytes();
            changed += codec.changedtiles.size();
        }
    }
    const double ticks = STREAMTICKS, cells = 1024.0 * 1024.0;
    state.counters["view_KB_per_s"] = (double)viewbytes / ticks * 10 / 1e3;
    state.counters["map_MB_per_s"] = (double)mapbytes / ticks * 10 / 1e6;
    state.counters["map_bytes_per_cell"] = (double)mapbytes / ticks / cells;
    state.counters["encode_ms"] = r.drawms + (detectms + tilesms) / ticks;
    state.counters["draw_ms"] = r.drawms;
    state.counters["cold_draw_ms"] = r.colddrawms;
    state.counters["changed_ms"] = detectms / ticks;
    state.counters["tiles_ms"] = tilesms / ticks;
    state.counters["view_tiles_ms"] = viewms / ticks;
    state.counters["changed_tiles"] = (double)changed / ticks;
    state.counters["key_view_KB"] = (double)keyview / 1e3;
    state.counters["key_map_KB"] = (double)keymap / 1e3;
    state.counters["key_map_ms"] = keyms;
}

} // namespace

void registerstreambenchmarks()
{
    // Whole tiles (key frames) are deflated at level 1 with the default
    // strategy; the others for comparison.
    const int settings[][2] = {{1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY}, {9, Z_DEFAULT_STRATEGY},
                               {1, Z_RLE}, {1, Z_HUFFMAN_ONLY}};
    for (const auto &s : settings)
        benchmark::RegisterBenchmark("stream", StreamBurning)
            ->Args({s[0], s[1]})
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseRealTime();
}

void releasestreamworlds() { recorded.reset(); }
