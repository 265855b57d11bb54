// A timed client run: how long the server takes to answer getmap and
// getallmap over a real connection, measured from the first byte of
// the command to the last byte of the closing record.
//
//   kindler-mapfetch [-n ROUNDS] [HOST [PORT]]
//   kindler-mapfetch -w FILE SIDE    writes a SIDE x SIDE burning map
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kindlerclient.h"

static int writemap(const char *path, long side)
{
    FILE *f = std::fopen(path, "w");
    if (!f)
        return 1;
    std::fprintf(f, "<kindler version=\"0.2\">\n<unittypes>\n"
                    "<type name=outside num=0> temp=20 cocon=0.1 calperc=1 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0 </type>\n"
                    "<type name=grass num=1> temp=20 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 burnspeed=3 calperf=400 </type>\n"
                    "<type name=ember num=2> temp=600 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 burnspeed=3 calperf=400 </type>\n"
                    "</unittypes>\n<map name=\"bench\" xsize=%ld ysize=%ld>\n", side, side);
    for (long y = 0; y < side; y++) {
        for (long x = 0; x < side; x++)
            std::fputs((x + y) % 97 == 0 ? "2 " : "1 ", f);
        std::fputs("<r>\n", f);
    }
    std::fputs("</map>\n<start>\n0,0\n</start>\n</kindler>\n", f);
    return std::fclose(f) == 0 ? 0 : 1;
}

// Times one first (cold) fetch, then `rounds` more; returns the first
// time followed by the others, sorted.
template <typename FETCH>
static std::vector<double> timeit(int rounds, FETCH fetch)
{
    std::vector<double> ms;
    for (int i = 0; i <= rounds; i++) {
        auto t0 = std::chrono::steady_clock::now();
        if (!fetch())
            return {};
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin() + 1, ms.end());
    return ms;
}

static void report(const char *what, const std::vector<double> &ms, double bytes)
{
    if (ms.size() < 2)
        return;
    double median = ms[1 + (ms.size() - 1) / 2];
    std::printf("%-11s %9.0f bytes  first %7.1f ms  then min %7.1f  median %7.1f  max %7.1f ms  (%.0f MB/s at the median)\n",
                what, bytes, ms[0], ms[1], median, ms.back(), bytes / median / 1000.0);
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "-w") == 0)
        return writemap(argv[2], std::atol(argv[3]));
    int rounds = 20;
    int arg = 1;
    if (argc > 2 && std::strcmp(argv[1], "-n") == 0) {
        rounds = std::atoi(argv[2]);
        arg = 3;
    }
    const char *host = arg < argc ? argv[arg] : "127.0.0.1";
    int port = arg + 1 < argc ? std::atoi(argv[arg + 1]) : KC_PORT;

    KCLIENT kc;
    if (kcconnect(&kc, host, port, 30000) < 0) {
        std::fprintf(stderr, "%s\n", kc.error.c_str());
        return 1;
    }
    KCMAPINFO info;
    if (kcmapinfo(&kc, &info) < 0) {
        std::fprintf(stderr, "%s\n", kc.error.c_str());
        return 1;
    }
    double cells = (double)info.xsize * (double)info.ysize;
    std::printf("map %ld x %ld, %d rounds each\n", info.xsize, info.ysize, rounds);
    // Raw runs: every record's checksum is verified, nothing is decoded.
    std::vector<unsigned char> run;
    auto fetch = [&](const char *cmd, int size) {
        run.clear();
        return kcsend(&kc, cmd) == 0 && kcreadrun(&kc, size, &run) >= 0;
    };
    std::vector<double> a = timeit(rounds, [&] { return fetch(strgetmap, UPDATEMAP_SIZE); });
    report(strgetmap, a, 40 * (cells + 1));
    std::vector<double> b = timeit(rounds, [&] { return fetch(strgetallmap, FIRSTMAP_SIZE); });
    report(strgetallmap, b, 96 * (cells + 1));
    if (a.empty() || b.empty()) {
        std::fprintf(stderr, "%s\n", kc.error.c_str());
        return 1;
    }
    kcclose(&kc);
    return 0;
}
