// Times the server's tick on a map file (dophys) and the plain reference
// tick of the tests (the oracle) on the same world, after a few players'
// fires and a warm-up, so the numbers are those of a burning world.
//
//   kindler-maptick MAPFILE [TICKS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bridge.h"
#include "engine/buildworld.h"
#include "game/loadmap.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "testgame.h"

template <class TICK> static double timeticks(TICK tick, int ticks)
{
    auto from = std::chrono::steady_clock::now();
    for (int t = 0; t < ticks; t++)
        tick();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count() / ticks;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kindler-maptick MAPFILE [TICKS]\n");
        return 2;
    }
    int ticks = argc > 2 ? std::atoi(argv[2]) : 200;
    if (ticks < 1)
        ticks = 1;
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kindler-maptick: cannot open %s\n", argv[1]);
        return 1;
    }
    try {
        MAPFILE f;
        readmapfile(in, f);
        makemap(f, testgame.world, nullptr);
    } catch (const MAPERROR &e) {
        std::fputs(e.what(), stderr);
        return 1;
    }
    // Six players' fires spread over the map, two of them twice.
    for (int p = 0; p < 6; p++) {
        long x = testgame.world.mapsizex * (p + 1) / 7, y = testgame.world.mapsizey * ((p * 3) % 7 + 1) / 8;
        for (int k = 0; k < 2 + p % 2; k++)
            addfire(testgame.world, x, y, p + 1);
    }
    for (int t = 0; t < 50; t++)
        dophys(testgame.world, testgame.tick);
    ORACLEWORLD w = oracle_snapshot(testgame.world);
    double fast = timeticks([] { dophys(testgame.world, testgame.tick); }, ticks);
    double plain = timeticks([&] { oracle_tick(w); }, ticks);
    double cells = (double)testgame.world.mapsizex * (double)testgame.world.mapsizey;
    std::printf("%s: %ld x %ld, %d ticks after 50 warm-up ticks\n", argv[1], testgame.world.mapsizex,
                testgame.world.mapsizey, ticks);
    std::printf("fast tick  %.3f ms (%.1f ns/cell)\n", fast, cells > 0 ? fast * 1e6 / cells : 0.0);
    std::printf("plain tick %.3f ms (%.1f ns/cell)\n", plain, cells > 0 ? plain * 1e6 / cells : 0.0);
    return 0;
}
