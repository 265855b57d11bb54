// Players' fires from many threads while the tick runs without pause. The
// map conducts nothing (cocon 0 everywhere, surroundings too) and holds no
// fuel, so every calorie in it is either the map's own or a fire's: no fire
// may be lost or doubled, whether it lands between ticks or while a tick
// computes, and a reader holding serverworld.oldmap_lock never sees a published state
// that misses a fire already made. Run it under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <thread>
#include <vector>

#include "bridge.h"
#include "loadmap.h"
#include "publish.h"
#include "support.h"
#include "world.h"

namespace {

const long SIZEX = 60, SIZEY = 40;
const int FIRETHREADS = 4;
const int FIRESPERTHREAD = 300;
const int MIDTICKFIRES = 100;

std::atomic<long> firesstarted{0}; // raised before addfire
std::atomic<long> firesdone{0};    // raised after addfire returns

// Where and whose the n-th fire of a thread is (a fixed, scattered walk).
struct SHOT {
    long x, y;
    int tag;
};
SHOT shotof(int thread, int n)
{
    uint32_t h = (uint32_t)(thread * 7919 + n * 104729 + 17);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return {(long)(h % SIZEX), (long)((h / SIZEX) % SIZEY), 2 * thread + 1 + (n % 2)};
}

// Sum of totalcal over a copy of the published grid.
long double heatof(const ORACLEWORLD &w)
{
    long double s = 0;
    for (const ORACELL &c : w.oldmap)
        s += c.totalcal;
    return s;
}

std::string worldtext()
{
    std::string row(SIZEX, '1');
    std::vector<std::string> rows(SIZEY, row);
    return maptext("<type name=out num=0>\n temp=50 cocon=0 calperc=1 ignitionpoint=0 fuellevel=0 "
                   "burnspeed=0 calperf=0\n</type>\n"
                   "<type name=plate num=1>\n temp=300 cocon=0 calperc=2 ignitionpoint=0 fuellevel=0 "
                   "burnspeed=1 calperf=100\n</type>\n",
                   rows);
}

} // namespace

TEST(Concurrency, EveryFireFoundWhileTheTickRuns)
{
    loadmaptext(worldtext());
    ASSERT_EQ(SIZEX, serverworld.mapsizex);
    ASSERT_EQ(SIZEY, serverworld.mapsizey);
    firesstarted = 0;
    firesdone = 0;
    const long double heat0 = heatof(oracle_snapshot());

    std::atomic<bool> firing{true};
    std::atomic<long> ticks{0};
    std::thread ticker([&] {
        while (firing.load()) {
            dophys(serverworld);
            ticks++;
        }
        dophys(serverworld);
        dophys(serverworld);
    });

    std::vector<std::thread> shooters;
    for (int t = 0; t < FIRETHREADS; t++) {
        shooters.emplace_back([t, &ticks] {
            long seen = 0;
            for (int n = 0; n < FIRESPERTHREAD; n++) {
                // Every few fires, let a tick pass, so that fires spread
                // over many ticks: between them and during them.
                if (n % 10 == 0) {
                    while (ticks.load() <= seen)
                        std::this_thread::yield();
                    seen = ticks.load();
                }
                SHOT s = shotof(t, n);
                firesstarted++;
                addfire(serverworld, s.x, s.y, s.tag);
                firesdone++;
                // Off the map: nothing happens.
                addfire(serverworld, -1 - n % 3, s.y, s.tag);
                addfire(serverworld, s.x, SIZEY + n % 2, s.tag);
            }
        });
    }
    // One thread aims its fires at ticks that are computing.
    std::atomic<long> midtick{0};
    shooters.emplace_back([&] {
        const int t = FIRETHREADS;
        long seen = 0;
        for (int n = 0; n < MIDTICKFIRES; n++) {
            while (ticks.load() <= seen)
                std::this_thread::yield();
            seen = ticks.load();
            for (int spin = 0; spin < 100000; spin++) {
                pthread_mutex_lock(&serverworld.oldmap_lock);
                int computing = serverworld.tickcomputing;
                pthread_mutex_unlock(&serverworld.oldmap_lock);
                if (computing) {
                    midtick++;
                    break;
                }
            }
            SHOT s = shotof(t, n);
            firesstarted++;
            addfire(serverworld, s.x, s.y, s.tag);
            firesdone++;
        }
    });

    // A reader, as a client's map transfer: a copy of the published grid,
    // taken under serverworld.oldmap_lock, always holds every fire that had returned
    // before the copy and no fire that had not started after it, in whole
    // fires.
    std::atomic<bool> reading{true};
    long badreads = 0, reads = 0;
    std::thread reader([&] {
        while (reading.load()) {
            long done = firesdone.load();
            long double heat = heatof(oracle_snapshot());
            long started = firesstarted.load();
            long double fires = (heat - heat0) / 100;
            if (fires < (long double)done || fires > (long double)started || fires != (long)fires)
                badreads++;
            reads++;
        }
    });

    for (std::thread &s : shooters)
        s.join();
    firing = false;
    ticker.join();
    reading = false;
    reader.join();

    const long total = (long)FIRETHREADS * FIRESPERTHREAD + MIDTICKFIRES;
    EXPECT_EQ(0, badreads) << "of " << reads << " reads";
    EXPECT_GE(ticks.load(), FIRESPERTHREAD / 10);
    RecordProperty("ticks", (int)ticks.load());
    RecordProperty("midtickfires", (int)midtick.load());
    std::printf("%ld ticks, %ld reads, %ld of %d aimed fires saw a computing tick\n", ticks.load(),
                reads, midtick.load(), MIDTICKFIRES);

    // Expected heat and attribution, cell by cell and tag by tag.
    std::map<size_t, long> firesat;
    std::map<std::pair<size_t, int>, long> tagfiresat;
    std::map<int, long> tagfires;
    for (int t = 0; t <= FIRETHREADS; t++) {
        int n = t < FIRETHREADS ? FIRESPERTHREAD : MIDTICKFIRES;
        for (int i = 0; i < n; i++) {
            SHOT s = shotof(t, i);
            size_t index = (size_t)s.x * SIZEY + (size_t)s.y;
            firesat[index]++;
            tagfiresat[{index, s.tag}]++;
            tagfires[s.tag]++;
        }
    }

    const ORACLEWORLD last = oracle_snapshot();
    EXPECT_EQ(heat0 + 100.0L * total, heatof(last));
    std::map<int, long double> tagheat;
    for (size_t i = 0; i < last.oldmap.size(); i++) {
        const ORACELL &c = last.oldmap[i];
        EXPECT_EQ(600.0L + 100.0L * firesat[i], c.totalcal) << "cell " << i;
        for (int s = 0; s < ORACLESLOTS; s++) {
            if (c.heatsource[s] == 0)
                continue;
            tagheat[c.heatsource[s]] += c.sourcequan[s];
            const long n = tagfiresat[{i, c.heatsource[s]}];
            EXPECT_EQ(100.0L * n, c.sourcequan[s])
                << "cell " << i << " tag " << c.heatsource[s];
        }
    }
    pthread_mutex_lock(&serverworld.oldmap_lock);
    EXPECT_EQ(serverworld.tickcomputing, 0);
    pthread_mutex_unlock(&serverworld.oldmap_lock);
    EXPECT_EQ(tagfires.size(), tagheat.size());
    for (const auto &[tag, n] : tagfires)
        EXPECT_EQ(100.0L * n, tagheat[tag]) << "tag " << tag;
    EXPECT_EQ(0, serverworld.outside.heatsource[0]);
    EXPECT_EQ(50.0L, serverworld.outside.totalcal);
    resetall();
}

namespace {

// A burning field of its own for each world: grass around a few hot cells,
// under warm surroundings, different per seed.
void buildburning(WORLD &w, unsigned seed)
{
    std::vector<std::string> rows(30, std::string(40, '2'));
    for (unsigned k = 0; k < 6; k++)
        rows[(seed * 7 + k * 5) % 30][(seed * 11 + k * 13) % 40] = '3';
    MAPFILE f = readmaptext(maptext("<type name=out num=0> temp=40 cocon=0.3 calperc=1 </type>\n"
                                    "<type name=grass num=2> temp=20 cocon=0.4 calperc=2 ignitionpoint=60 "
                                    "fuellevel=3 burnspeed=3 calperf=400 </type>\n"
                                    "<type name=ember num=3> temp=400 cocon=0.4 calperc=2 ignitionpoint=60 "
                                    "fuellevel=3 burnspeed=3 calperf=400 </type>\n",
                                    rows));
    makemap(f, w, nullptr);
    w.tickthreads = 2; // each world wakes its own helper thread every tick
}

} // namespace

TEST(Concurrency, TwoWorldsTickAtOnceEachAsIfAlone)
{
    // Each world keeps its own locks, scratch and helper thread: ticked from
    // two threads at once, each ends exactly where the reference tick, run
    // alone, takes it.
    WORLD worlds[2];
    ORACLEWORLD expected[2];
    for (unsigned i = 0; i < 2; i++) {
        buildburning(worlds[i], i + 1);
        expected[i] = oracle_snapshot(worlds[i]);
    }
    const int ticks = 40;
    auto fireat = [](int tick, unsigned i) { return SHOT{(long)(tick * 3 + i) % 40, (long)(tick + 5 * i) % 30, (int)i + 1}; };
    std::vector<std::thread> tickers;
    for (unsigned i = 0; i < 2; i++)
        tickers.emplace_back([&, i] {
            for (int t = 0; t < ticks; t++) {
                SHOT s = fireat(t, i);
                addfire(worlds[i], s.x, s.y, s.tag);
                dophys(worlds[i]);
            }
        });
    for (auto &t : tickers)
        t.join();
    for (unsigned i = 0; i < 2; i++) {
        for (int t = 0; t < ticks; t++) {
            SHOT s = fireat(t, i);
            oracle_fire(expected[i], s.x, s.y, s.tag);
            oracle_tick(expected[i]);
        }
        std::string diff;
        EXPECT_TRUE(oracle_same(expected[i], &diff, worlds[i])) << "world " << i << ": " << diff;
        EXPECT_GT(worlds[i].oldmap->tagged.size(), 0u) << "world " << i << " spread no attribution";
    }
}
