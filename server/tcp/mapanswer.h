// The answers to getmap and getallmap: every published cell as a
// record, encoded once per published state and shared by every reader.
//
// A connection takes oldmap_lock; if the cached answer is of an older
// generation it encodes the whole published state (queued fires included)
// into a new buffer and caches it; it takes a reference-counted handle to
// the buffer and releases the lock, then sends the buffer with no lock
// held. A newer state replaces the cached buffer, but a connection still
// sending the old one keeps it alive through its handle.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "game/game.h"

typedef std::shared_ptr<const std::vector<unsigned char>> MAPANSWER;

// The two cached answers of one world, each with the generation of the
// published state it shows, guarded by that game's oldmap_lock; and the
// buffers of answers no reader holds any more, kept for the next state's
// encoding (at most two, so a new state costs no fresh pages), in
// lock-free slots, since the last reader of an answer may drop it with or
// without oldmap_lock held. It outlives every answer it gave.
struct MAPANSWERS {
    MAPANSWERS() = default;
    MAPANSWERS(const MAPANSWERS &) = delete;
    MAPANSWERS &operator=(const MAPANSWERS &) = delete;
    ~MAPANSWERS();

    MAPANSWER update;        // "getmap;"
    uint64_t updategen = 0;
    MAPANSWER first;         // "getallmap;"
    uint64_t firstgen = 0;
    std::atomic<std::vector<unsigned char> *> spare[2] = {}; // lock-free
};

// The answer for g's published state: UPDATEMAP records (full false) or
// FIRSTMAP records (full true), then the closing record, from the cache
// `cache` of g when it shows the published state, else encoded and cached
// there. Null when memory runs out. Holds the published state still
// (readcells) while it reads the cache and encodes.
MAPANSWER mapanswer(GAME &g, MAPANSWERS &cache, bool full);
