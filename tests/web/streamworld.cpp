// Random worlds for the web stream's tests.
#include "streamworld.h"

#include <cstring>

#include "engine/fire.h"
#include "engine/publish.h"

static MAPUNIT randomunit(std::mt19937_64 &rng)
{
    auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    MAPUNIT c;
    std::memset(&c, 0, sizeof c);
    c.cocon = rng() % 5 == 0 ? 0.0L : (long double)real(0.02, 1.5);
    c.calperc = (long double)real(0.2, 12.0);
    c.ignitionpoint = (int)(250 + rng() % 350);
    c.fuellevel = rng() % 4 == 0 ? 0.0L : (long double)real(0.5, 5.0);
    c.calperf = (long double)real(100.0, 900.0);
    c.burnspeed = (long double)real(0.5, 3.0);
    c.block = (int)(rng() % 4 == 0);
    c.totalcal = (long double)(200 + rng() % 400) * c.calperc;
    return c;
}

void streamworld(std::mt19937_64 &rng, WORLD &w, long sizex, long sizey)
{
    allocworld(w, sizex, sizey);
    std::vector<MAPUNIT> units;
    const int n = 1 + (int)(rng() % 5);
    for (int i = 0; i < n; i++)
        units.push_back(randomunit(rng));
    for (size_t i = 0; i < ncells(w); i++) {
        MAPUNIT c = units[rng() % units.size()];
        if (rng() % 6 == 0)
            c.totalcal *= (long double)(1 + rng() % 3);
        setpubcell(w, i, c);
    }
    w.outside = randomunit(rng);
    w.outside.fuellevel = 0;
    w.outside.totalcal = (long double)(150 + rng() % 1000) * w.outside.calperc;
    w.mapname = "random";
}

void stirworld(std::mt19937_64 &rng, WORLD &w)
{
    if (ncells(w) == 0)
        return;
    const int kind = (int)(rng() % 8);
    const long x = (long)(rng() % (unsigned long)w.mapsizex), y = (long)(rng() % (unsigned long)w.mapsizey);
    if (kind < 3) {
        for (int k = 0; k < 1 + (int)(rng() % 30); k++)
            addfire(w, x, y, 1 + (int)(rng() % 4));
    } else if (kind == 3) {
        MAPUNIT c = getcell(w, x, y);
        c.totalcal = c.calperc * (long double)(1000 + rng() % 5000);
        putcell(w, x, y, c);
    } else if (kind == 4) {
        MAPUNIT c = getcell(w, x, y);
        c.totalcal = c.calperc * (long double)(rng() % 700); // a whole number of kelvins
        putcell(w, x, y, c);
    }
}

void streamsize(std::mt19937_64 &rng, int round, long maxx, long maxy, long &sizex, long &sizey)
{
    sizex = 1 + (long)(rng() % (unsigned long)maxx);
    sizey = 1 + (long)(rng() % (unsigned long)maxy);
    if (round % 5 == 1)
        sizex = 1;
    if (round % 5 == 2)
        sizey = 1;
    if (round % 5 == 3) {
        sizex = 16 * (1 + (long)(rng() % 4));
        sizey = 16 * (1 + (long)(rng() % 4));
    }
}
