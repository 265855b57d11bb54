// Times the server's tick on a map file: the fast tick (dophys) and the
// plain record-level tick (dophysplain), after a few players' fires and a
// warm-up, so the numbers are those of a burning world.
//
//   kindler-maptick MAPFILE [TICKS]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "file.h"
#include "phys.h"

static double timeticks(void (*tick)(), int ticks)
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
    // The reader's progress lines are not wanted here.
    std::fflush(stdout);
    int saved = dup(1);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    close(devnull);
    bool loaded = true;
    try {
        readmap(in);
    } catch (const MAPERROR &e) {
        std::fputs(e.what(), stderr);
        loaded = false;
    }
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    if (!loaded)
        return 1;
    // Six players' fires spread over the map, two of them twice.
    for (int p = 0; p < 6; p++) {
        long x = mapsizex * (p + 1) / 7, y = mapsizey * ((p * 3) % 7 + 1) / 8;
        for (int k = 0; k < 2 + p % 2; k++)
            addfire(x, y, p + 1);
    }
    for (int t = 0; t < 50; t++)
        dophys();
    double fast = timeticks(dophys, ticks);
    double plain = timeticks(dophysplain, ticks);
    double cells = (double)mapsizex * (double)mapsizey;
    std::printf("%s: %ld x %ld, %d ticks after 50 warm-up ticks\n", argv[1], mapsizex, mapsizey, ticks);
    std::printf("fast tick  %.3f ms (%.1f ns/cell)\n", fast, cells > 0 ? fast * 1e6 / cells : 0.0);
    std::printf("plain tick %.3f ms (%.1f ns/cell)\n", plain, cells > 0 ? plain * 1e6 / cells : 0.0);
    return 0;
}
