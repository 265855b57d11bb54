// Heat attribution: the rules of a move, the entries of tagged cells, a
// player's fire, and the tick's attribution pass.
//
// The pass: conduction's moves of attribution in the sweep's order, then
// the border lines, then combustion's. A move from a sender without
// attributed heat changes nothing, so the pass visits only cells that hold
// tags and their neighbours. Tags spread downstream within one tick (a
// cell's shares depend on what the cells before it in the sweep just
// moved into it), so the pass runs strictly in sweep order: the cells
// tagged at the start of the tick merged with those that gain tags ahead
// of it.
#include "engine/tick/attribution.h"

#include <emmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <new>
#include <thread>

#include "engine/tick/scratch.h"

// Bit i set where slot i holds a tag: the fifteen tags compared at once.
static inline unsigned attrused(const ATTR *unit)
{
    static_assert(NUMSLOTS == 15 && sizeof(ATTR) >= 16 * sizeof(int),
                  "the tags and the bytes after them fill four 16-byte loads");
    unsigned used = 0;
    for (int q = 0; q < 4; q++) {
        __m128i v;
        std::memcpy(&v, (const char *)unit->heatsource + 16 * q, 16);
        const __m128i zero = _mm_cmpeq_epi32(v, _mm_setzero_si128());
        used |= (unsigned)(~_mm_movemask_ps(_mm_castsi128_ps(zero)) & 0xf) << (4 * q);
    }
    return used & ((1u << NUMSLOTS) - 1);
}

// The used slots of a unit and their tags, in slot order. A sender's list
// holds for all its moves of a tick: they change its quantities only.
struct SLOTLIST {
    int m;
    int slot[NUMSLOTS];
    int tag[NUMSLOTS];
};

static inline void listslots(const ATTR *unit, SLOTLIST &l)
{
    l.m = 0;
    for (unsigned b = attrused(unit); b; b &= b - 1) {
        const int i = __builtin_ctz(b);
        l.slot[l.m] = i;
        l.tag[l.m++] = unit->heatsource[i];
    }
}

// The attributed heat of a unit: its listed quantities summed in slot order.
static inline long double listtotal(const ATTR *unit, const SLOTLIST &l)
{
    long double totalheat = 0;
    for (int j = 0; j < l.m; j++)
        totalheat += load80(unit->sourcequan[l.slot[j]]);
    return totalheat;
}

// addheat with the used slots of the sender (or, without one, of the
// receiver) already listed in l.
static void addheatlisted(ATTR *rec, ATTR *src, const SLOTLIST &l, long double heat2add)
{
    // A missing sender is a scratch copy of the receiver, and a missing
    // receiver one of the sender. The shares are all taken before any slot
    // changes, so the scratch copy is never needed: the shares come from
    // the receiver itself, and what the copy would lose or gain is dropped.
    const ATTR *from = src ? src : rec;
    const int m = l.m;
    if (m == 0)
        return;
    const long double totalheat = listtotal(from, l);
    if (!(totalheat > 0))
        return;
    float prec[NUMSLOTS];
    if (m == 1 && totalheat < INFINITY) {
        // The total is the one quantity (0 + q): its share q / q is 1.
        prec[0] = 1.0f;
    } else {
        for (int j = 0; j < m; j++) {
            long double q = load80(from->sourcequan[l.slot[j]]);
            prec[j] = q > 0 ? (float)(q / totalheat) : 0.0f;
        }
    }
    for (int j = 0; j < m; j++) {
        long double part = (long double)prec[j] * heat2add;
        if (rec) {
            int slot = findfreeslot(rec, l.tag[j]);
            rec->heatsource[slot] = l.tag[j];
            store80(rec->sourcequan[slot], part + load80(rec->sourcequan[slot]));
        }
        if (src)
            store80(src->sourcequan[l.slot[j]], load80(src->sourcequan[l.slot[j]]) - part);
    }
}

void addheat(ATTR *rec, ATTR *src, long double heat2add)
{
    SLOTLIST l;
    listslots(src ? src : rec, l);
    addheatlisted(rec, src, l, heat2add);
}

void addheatfromplayer(ATTR *rec, long double heat2add, int num)
{
    ATTR scratch;
    std::memset(&scratch, 0, sizeof scratch);
    scratch.heatsource[0] = num;
    store80(scratch.sourcequan[0], heat2add);
    addheat(rec, &scratch, heat2add);
}

bool attrblank(const int *heatsource, const long double *sourcequan)
{
    const long double zero = 0;
    for (int s = 0; s < NUMSLOTS; s++)
        if (heatsource[s] != 0 || !samebits(sourcequan[s], zero))
            return false;
    return true;
}

int32_t newentry(GRID &g, size_t i)
{
    ATTR empty;
    std::memset(&empty, 0, sizeof empty);
    g.pool.push_back(empty);
    g.attrindex[i] = (int32_t)(g.pool.size() - 1);
    return g.attrindex[i];
}

ATTR &attrentry(GRID &g, size_t i)
{
    if (g.attrindex[i] < 0) {
        newentry(g, i);
        auto at = std::lower_bound(g.tagged.begin(), g.tagged.end(), (uint32_t)i);
        g.tagged.insert(at, (uint32_t)i);
    }
    return g.pool[(size_t)g.attrindex[i]];
}

// ---------------------------------------------------------------------------
// The attribution pass

// True when some in-map neighbour of the border position (x, y) holds tags.
static bool bordertagged(const TICKVIEW &w, long x, long y)
{
    for (int t = 0; t < 8; t++) {
        long nx = x + ddx[t], ny = y + ddy[t];
        if (inmap(w, nx, ny) && w.out->attrindex[(size_t)nx * (size_t)w.sizey + (size_t)ny] >= 0)
            return true;
    }
    return false;
}

static void borderattr(const TICKVIEW &w, long x, long y, const SENDS &s)
{
    if (!s.mask || !bordertagged(w, x, y))
        return;
    GRID &o = *w.out;
    for (int t = 0; t < 8; t++) {
        if (!(s.mask & (1u << t)))
            continue;
        long nx = x + ddx[t], ny = y + ddy[t];
        if (!inmap(w, nx, ny))
            continue;
        int32_t e = o.attrindex[(size_t)nx * (size_t)w.sizey + (size_t)ny];
        if (e >= 0)
            addheat(&o.pool[(size_t)e], nullptr, s.amt[t]);
    }
}

// Waits until the stored amounts of column x are written (a helper thread
// sweeping the columns from `ready`'s start value raises it).
static inline void awaitcolumn(const std::atomic<long> *ready, long x, double *waited)
{
    if (!ready || ready->load(std::memory_order_acquire) > x)
        return;
    const auto from = std::chrono::steady_clock::now();
    for (int spins = 0; ready->load(std::memory_order_acquire) <= x; spins++) {
        if (spins < 64) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        } else {
            std::this_thread::yield();
        }
    }
    *waited += std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Copies an entry sixteen bytes at a time (a string move costs more to
// start than such a short copy takes), bypassing the caches if `stream`.
static inline void copyentry(ATTR *to, const ATTR *from, bool stream)
{
    static_assert(sizeof(ATTR) % 16 == 0 && alignof(ATTR) % 16 == 0, "entries are whole aligned 16-byte blocks");
    const __m128i *src = (const __m128i *)(const void *)from;
    __m128i *dst = (__m128i *)(void *)to;
    if (stream) {
        for (size_t k = 0; k < sizeof(ATTR) / 16; k++)
            _mm_stream_si128(dst + k, _mm_load_si128(src + k));
    } else {
        for (size_t k = 0; k < sizeof(ATTR) / 16; k++)
            _mm_store_si128(dst + k, _mm_load_si128(src + k));
    }
}

// Starts the tick's attribution from the published one: the entries are
// copied in cell order, so that the pass (which visits sources in cell
// order, and their neighbours) and the next tick's copy walk the pool
// forward instead of jumping about.
static void copypool(const GRID &in, GRID &o)
{
    for (uint32_t i : o.tagged)
        o.attrindex[i] = -1;
    o.tagged.clear();
    // Room for the cells that gain tags this tick, so that the pool does
    // not move (copying every entry) while the pass runs. A pool past 16
    // MiB takes room for every cell: the kernel gives its pages only as
    // entries first reach them, and it never moves again, where each move
    // would fault in a whole new pool within one tick. (Where so much
    // address space cannot be had, room for the growth of some ticks.)
    if (o.pool.capacity() < in.tagged.size() + in.tagged.size() / 8 + 64) {
        const size_t room = in.tagged.size() + in.tagged.size() / 2 + 64;
        o.pool.clear(); // nothing in it is kept: no copy
        try {
            o.pool.reserve(room * sizeof(ATTR) >= (size_t)16 << 20 ? std::max(room, o.attrindex.size()) : room);
        } catch (const std::bad_alloc &) {
            o.pool.reserve(room);
        }
    }
    o.pool.resize(in.tagged.size());
    // A pool larger than the caches is gone from them before the pass
    // comes back to it: its copy bypasses them (no read of the old lines).
    const bool stream = in.tagged.size() * sizeof(ATTR) >= (size_t)16 << 20;
    for (size_t j = 0; j < in.tagged.size(); j++) {
        uint32_t i = in.tagged[j];
        copyentry(&o.pool[j], &in.pool[(size_t)in.attrindex[i]], stream);
        o.attrindex[i] = (int32_t)j;
    }
    if (stream)
        _mm_sfence();
}

// The next source of the pass in sweep order, or false when none is left:
// the cells tagged at the start (in.tagged from k on) merged with the
// min-heap of cells given tags ahead of the sweep.
static bool nextsource(const GRID &in, size_t &k, std::vector<uint32_t> &ahead, uint32_t &s)
{
    if (k < in.tagged.size() && (ahead.empty() || in.tagged[k] < ahead.front())) {
        s = in.tagged[k++];
        return true;
    }
    if (ahead.empty())
        return false;
    std::pop_heap(ahead.begin(), ahead.end(), std::greater<uint32_t>());
    s = ahead.back();
    ahead.pop_back();
    return true;
}

// The entries of the next column are first reached from this one, a few
// rows further on: fetch them before they are needed. Always inlined: the
// compiler takes a function that only prefetches for one without effect,
// and drops its calls.
__attribute__((always_inline)) static inline void prefetchahead(const GRID &o, size_t s, size_t Y, size_t n)
{
    if (size_t ahead = s + Y + 6; ahead < n) {
        int32_t e = o.attrindex[ahead];
        if (e >= 0) {
            const char *entry = (const char *)&o.pool[(size_t)e];
            __builtin_prefetch(entry);
            __builtin_prefetch(entry + 64);
        }
    }
}

void attributionpass(const TICKVIEW &w, TICKSCRATCH &sc, const std::atomic<long> *ready, double *waited)
{
    const GRID &in = *w.in;
    GRID &o = *w.out;
    const size_t Y = (size_t)w.sizey;
    copypool(in, o);

    sc.fresh.clear();
    sc.ahead.clear();
    size_t k = 0;
    uint32_t s;
    while (nextsource(in, k, sc.ahead, s)) {
        SLOTLIST slots;
        listslots(&o.pool[(size_t)o.attrindex[s]], slots);
        if (!(listtotal(&o.pool[(size_t)o.attrindex[s]], slots) > 0))
            continue; // every move from it changes nothing
        long x = (long)(s / Y), y = (long)(s % Y);
        prefetchahead(o, s, Y, (size_t)w.sizex * Y);
        SENDS fresh;
        const SENDS *sdp = &fresh;
        if (in.attrindex[s] >= 0) {
            if (sc.skip[(size_t)x])
                continue; // settled: it sends nothing
            awaitcolumn(ready, x, waited);
            sdp = &sc.stored[(size_t)in.attrindex[s]];
        } else
            sourcesends(w, x, y, fresh);
        const SENDS &sd = *sdp;
        for (int t = 0; t < 8; t++) {
            if (!(sd.mask & (1u << t)))
                continue;
            long nx = x + ddx[t], ny = y + ddy[t];
            ATTR *rec = nullptr;
            if (inmap(w, nx, ny)) {
                size_t r = (size_t)nx * Y + (size_t)ny;
                if (o.attrindex[r] < 0) {
                    if (!(listtotal(&o.pool[(size_t)o.attrindex[s]], slots) > 0))
                        continue; // the move would change nothing
                    newentry(o, r);
                    sc.fresh.push_back((uint32_t)r);
                    if (r > s) {
                        sc.ahead.push_back((uint32_t)r);
                        std::push_heap(sc.ahead.begin(), sc.ahead.end(), std::greater<uint32_t>());
                    }
                }
                rec = &o.pool[(size_t)o.attrindex[r]];
            }
            addheatlisted(rec, &o.pool[(size_t)o.attrindex[s]], slots, sd.amt[t]);
        }
    }
}

void borderlines(const TICKVIEW &w, const TICKSCRATCH &sc)
{
    const BORDERS &b = sc.borders;
    for (long x = 0; x < w.sizex; x++)
        borderattr(w, x, -1, b.bottom[(size_t)x]);
    for (long y = 0; y < w.sizey; y++)
        borderattr(w, w.sizex, y, b.right[(size_t)y]);
    for (long y = 0; y < w.sizey; y++)
        borderattr(w, -1, y, b.left[(size_t)y]);
    for (long x = 0; x < w.sizex; x++)
        borderattr(w, x, w.sizey, b.top[(size_t)x]);
}

static inline bool onedge(const TICKVIEW &w, uint32_t i)
{
    const size_t Y = (size_t)w.sizey, x = i / Y, y = i % Y;
    return x == 0 || y == 0 || x + 1 == (size_t)w.sizex || y + 1 == Y;
}

// Each move touches only the burning cell's own entry, so the cells may
// take their turns in any order.
void burnattr(const TICKVIEW &w, const BURN *from, const BURN *to, CELLS which)
{
    GRID &o = *w.out;
    for (const BURN *burn = from; burn < to; burn++) {
        if (which != CELLS::all && onedge(w, burn->index) != (which == CELLS::edge))
            continue;
        int32_t e = o.attrindex[burn->index];
        if (e >= 0)
            addheat(&o.pool[(size_t)e], nullptr, burn->heat2add);
    }
}

void listtagged(const TICKVIEW &w, TICKSCRATCH &sc)
{
    const GRID &in = *w.in;
    std::sort(sc.fresh.begin(), sc.fresh.end());
    sc.merged.resize(in.tagged.size() + sc.fresh.size());
    std::merge(in.tagged.begin(), in.tagged.end(), sc.fresh.begin(), sc.fresh.end(), sc.merged.begin());
    w.out->tagged.swap(sc.merged);
}
