// One tick: conduction and combustion in one sweep, then attribution, on
// one or two threads.
#include "engine/tick/tick.h"

#include <algorithm>
#include <chrono>

#include "engine/tick/combustion.h"
#include "engine/tick/scratch.h"

// The coefficient and the interval times it, per material and for the
// surroundings (the same product wherever a request uses it), and where
// the ignition test needs no division.
static void materialtables(const TICKVIEW &w, TICKSCRATCH &sc)
{
    sc.cocon.resize(w.ntypes + 1);
    sc.icocon.resize(w.ntypes + 1);
    for (size_t i = 0; i <= w.ntypes; i++) {
        sc.cocon[i] = i < w.ntypes ? w.types[i].cocon : w.outside->cocon;
        sc.icocon[i] = (long double)w.interval * sc.cocon[i];
    }
    sc.coldbelow.resize(w.ntypes);
    sc.hotabove.resize(w.ntypes);
    for (size_t i = 0; i < w.ntypes; i++)
        ignitionbounds(w.types[i], &sc.coldbelow[i], &sc.hotabove[i]);
    // The lanes need every coefficient as a pair; a calperc that is none
    // makes its cells' columns take the x87 unit.
    const LANEKERNELS *lanes = lanekernels(w.path);
    const size_t n = w.ntypes + 1;
    for (auto *v : {&sc.cphi, &sc.cplo, &sc.cchi, &sc.cclo, &sc.ichi, &sc.iclo})
        v->resize(n);
    for (size_t i = 0; i < n && lanes; i++) {
        ldtopair(i < w.ntypes ? w.types[i].calperc : w.outside->calperc, sc.cphi[i], sc.cplo[i]);
        if (!ldtopair(sc.cocon[i], sc.cchi[i], sc.cclo[i]) || !ldtopair(sc.icocon[i], sc.ichi[i], sc.iclo[i]))
            lanes = nullptr;
    }
    for (COLUMNS &c : sc.columns) {
        c.lanes = lanes;
        c.lanetables = {sc.cphi.data(), sc.cplo.data(), sc.cchi.data(), sc.cclo.data(), sc.ichi.data(), sc.iclo.data()};
        c.coldbelow = sc.coldbelow.data();
        c.hotabove = sc.hotabove.data();
        c.cocon = sc.cocon.data();
        c.icocon = sc.icocon.data();
        c.out = (uint32_t)w.ntypes;
    }
}

// The helper's share of a two-thread tick: the columns [lo, sizex).
struct HELPERSWEEP {
    const TICKVIEW *w;
    COLUMNS *c;
    const BORDERS *b;
    long lo;
    SENDS *stored;
    std::atomic<long> *progress;
    const uint8_t *skip;
    uint8_t *moved;
    double seconds; // the helper's sweep took
};

static void helpersweep(void *arg)
{
    HELPERSWEEP &h = *(HELPERSWEEP *)arg;
    const auto from = std::chrono::steady_clock::now();
    sweepparts(*h.w, *h.c, *h.b, h.lo, h.w->sizex, h.stored, h.progress, h.skip, h.moved);
    h.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The helper's share of combustion's moves: the cells off the map's edge
// among [from, to).
struct HELPERBURNS {
    const TICKVIEW *w;
    const BURN *from, *to;
};

static void helperburns(void *arg)
{
    HELPERBURNS &h = *(HELPERBURNS *)arg;
    burnattr(*h.w, h.from, h.to, CELLS::inner);
}

// Conduction and the attribution pass on two threads: this thread sweeps
// the columns [0, k) and then runs the attribution pass while the helper
// sweeps [k, X); the pass waits for the helper's stored amounts column by
// column. k shares the computed columns out: the more cells hold tags, the
// more the helper sweeps.
static void sweeptwo(const TICKVIEW &w, TICKSCRATCH &sc, long computed, std::vector<BURN> &burns)
{
    const long X = w.sizex;
    const uint8_t *skip = sc.skip.data();
    const double cells = (double)computed * (double)w.sizey;
    const double attr = sc.attrcost * (double)w.in->tagged.size();
    long mine = attr >= cells ? 0 : (long)((cells - attr) / (2.0 * (double)w.sizey));
    mine = std::clamp(mine, 0L, computed / 2);
    long k = 0;
    for (long n = 0; k < X && n < mine; k++)
        n += !skip[k];
    std::atomic<long> progress(k);
    HELPERSWEEP job{&w, &sc.columns[1], &sc.borders, k, sc.stored.data(), &progress, skip, sc.moved.data(), 0};
    helperstart(sc.helper, helpersweep, &job);
    sweepparts(w, sc.columns[0], sc.borders, 0, k, sc.stored.data(), nullptr, skip, sc.moved.data());
    const auto from = std::chrono::steady_clock::now();
    double waited = 0;
    attributionpass(w, sc, &progress, &waited);
    const double attrseconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count() - waited;
    helperwait(sc.helper);
    const double helpercells = (double)(computed - mine) * (double)w.sizey;
    if (w.in->tagged.size() >= 1024 && job.seconds > 0 && attrseconds > 0 && helpercells > 0) {
        double measured = (attrseconds / (double)w.in->tagged.size()) / (job.seconds / helpercells);
        sc.attrcost = std::clamp(0.5 * sc.attrcost + 0.5 * measured, 0.05, 1000.0);
    }
    burns.insert(burns.end(), sc.columns[0].burns.begin(), sc.columns[0].burns.end());
    burns.insert(burns.end(), sc.columns[1].burns.begin(), sc.columns[1].burns.end());
}

// The rest of the attribution pass: the border lines, then combustion's
// moves. When many cells burn, the helper takes the cells of the first
// half of the burns that the border lines cannot reach; this thread the
// border lines, then the second half, then the edge cells of the first
// half.
static void finishattribution(const TICKVIEW &w, TICKSCRATCH &sc, int threads, const std::vector<BURN> &burns)
{
    if (threads == 2 && burns.size() >= 4096) {
        const BURN *mid = burns.data() + burns.size() / 2;
        HELPERBURNS job{&w, burns.data(), mid};
        helperstart(sc.helper, helperburns, &job);
        borderlines(w, sc);
        burnattr(w, mid, burns.data() + burns.size(), CELLS::all);
        listtagged(w, sc);
        helperwait(sc.helper);
        burnattr(w, burns.data(), mid, CELLS::edge);
    } else {
        borderlines(w, sc);
        burnattr(w, burns.data(), burns.data() + burns.size(), CELLS::all);
        listtagged(w, sc);
    }
}

TICKSTATE::TICKSTATE() = default;
TICKSTATE::~TICKSTATE() = default;

void computetick(WORLD &world, TICKSTATE &t, double interval)
{
    t.burns.clear();
    if (world.mapsizex <= 0 || world.mapsizey <= 0)
        return;
    if (!t.scratch)
        t.scratch = std::make_unique<TICKSCRATCH>();
    TICKSCRATCH &sc = *t.scratch;
    TICKVIEW w;
    w.sizex = world.mapsizex;
    w.sizey = world.mapsizey;
    w.types = world.materials.data();
    w.ntypes = world.materials.size();
    w.type = world.material.data();
    w.fuel = world.fuellevel.data();
    w.in = world.oldmap;
    w.out = world.curmap;
    w.outside = &world.outside;
    w.interval = interval;
    w.threads = t.threads;
    w.path = t.path;
    w.settle = &world.settle;

    borderssends(w, sc.borders);
    findsettled(w, sc);
    materialtables(w, sc);
    long computed = 0; // columns not skipped
    for (long x = 0; x < w.sizex; x++)
        computed += !sc.skip[(size_t)x];
    int threads = w.threads;
    if (threads == 0)
        threads = (computed >= 8 && computed * w.sizey >= 65536) ? 2 : 1;
    if (w.sizex < 2)
        threads = 1;
    sc.stored.resize(w.in->pool.size());
    if (threads == 2) {
        sweeptwo(w, sc, computed, t.burns);
    } else {
        sweepparts(w, sc.columns[0], sc.borders, 0, w.sizex, sc.stored.data(), nullptr, sc.skip.data(),
                   sc.moved.data());
        t.burns.swap(sc.columns[0].burns);
        attributionpass(w, sc, nullptr, nullptr);
    }
    finishattribution(w, sc, threads, t.burns);
    recordsettled(w, sc);
    for (COLUMNS &c : sc.columns) {
        t.paircolumns += c.paircolumns;
        t.x87columns += c.x87columns;
        c.paircolumns = c.x87columns = 0;
    }
}
