// Reading the published state: the last state the tick published, and
// the fires that arrived since. Readers hold oldmap_lock for as long as
// they read (readpublished) and read through these calls only, never the
// world's buffers, so the world may store its cells as it likes.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/world.h"

// Calls f(const WORLD &) with w's oldmap_lock held: f reads the published
// state through pubcell, eachpubcell and the calls below, takes no other
// lock and never waits on a client. Keep it short: the tick's swap and
// every fire wait for it.
template <class F> void readpublished(WORLD &w, F &&f)
{
    pthread_mutex_lock(&w.oldmap_lock);
    try {
        f(static_cast<const WORLD &>(w));
    } catch (...) {
        pthread_mutex_unlock(&w.oldmap_lock);
        throw;
    }
    pthread_mutex_unlock(&w.oldmap_lock);
}

// What a reader holding oldmap_lock reads of the published state (and
// benchmarks and tests of a world that does not tick):
// The published states so far: raised by every fire and every swap that
// publishes another state; a reader that keeps an encoding compares it.
inline uint64_t pubgeneration(const WORLD &w) { return w.mapgeneration; }
// The states the tick published.
inline uint64_t pubticks(const WORLD &w) { return w.ticks; }
// Cell i's heat, fires queued since not included (queuedfires).
inline long double pubheat(const WORLD &w, size_t i) { return load80(w.oldmap->heat[i]); }
// Cell i's fuel.
inline long double pubfuel(const WORLD &w, size_t i) { return load80(w.fuellevel[i]); }
// The fires queued while the tick computes, not yet in the cells.
inline const std::vector<QUEUEDFIRE> &queuedfires(const WORLD &w) { return w.firequeue; }
// The number of cells that hold attribution.
inline size_t taggedcells(const WORLD &w) { return w.oldmap->tagged.size(); }

// The states w's tick published; takes oldmap_lock.
inline uint64_t publishedticks(WORLD &w)
{
    uint64_t ticks = 0;
    readpublished(w, [&](const WORLD &p) { ticks = pubticks(p); });
    return ticks;
}
