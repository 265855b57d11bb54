// The checkpoint thread: every `interval` seconds, right after a tick has
// published, it copies the game (takecheckpoint) and saves the copy into
// the store (only the tiles changed, one transaction). The tick only
// signals it and never waits on the disk. A failed save is counted, told
// on a log at most once a minute, and tried again at the next interval.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "store/checkpointmetrics.h"
#include "store/store.h"

struct CHECKPOINTER {
    GAME *game = nullptr;
    std::unique_ptr<STORE> store; // the checkpoint thread's while it runs
    double interval = 10;         // seconds between checkpoints
    FILE *log = stderr;           // where failures are told
    double logevery = 60;         // seconds between two lines of failure
    // Told after each checkpoint on the thread that took it, with no lock
    // held: whether it was committed, its seconds (copy and save) and the
    // bytes it wrote (null for none).
    void (*observer)(void *arg, bool committed, double seconds, size_t bytes) = nullptr;
    void *observerarg = nullptr;
    CHECKPOINTMETRICS metrics; // the operators' numbers (checkpointmetrics); each guards itself

    pthread_mutex_t checkpoint_lock = PTHREAD_MUTEX_INITIALIZER; // guards ticks, stopping
    pthread_cond_t wake = PTHREAD_COND_INITIALIZER;              // signalled when they change
    uint64_t ticks = 0;    // guarded by checkpoint_lock: ticks published so far
    bool stopping = false; // guarded by checkpoint_lock: the thread ends

    // The checkpoint thread's own (and the stopping thread's once joined).
    pthread_t thread{};
    bool running = false;
    CHECKPOINT copy;
    std::chrono::steady_clock::time_point lastlog{};
    bool logged = false;
    std::atomic<uint64_t> failures{0}; // saves that failed
    std::atomic<uint64_t> committed{0}; // saves committed
};

// Starts c's thread (c.game, c.store set); false when it cannot start.
bool startcheckpointer(CHECKPOINTER &c);
// Tells the thread that a tick has published (the tick loop, after each
// tick): it takes checkpoint_lock for a moment only.
void checkpointticked(CHECKPOINTER &c);
// The same as a tick hook of the game (addtickhook; arg: the CHECKPOINTER).
void checkpointhook(void *arg, GAME &g, const TICKREPORT &report);
// Takes and saves one checkpoint now, on the calling thread (not the
// ticking one while it ticks), counts it in the metrics, tells the observer and counts a failure
// (the caller tells it). True when committed.
bool checkpointnow(CHECKPOINTER &c, std::string &error);
// Ends the thread (after the save it is in), takes a last checkpoint of
// the game, which must no longer tick, and closes the store. True when
// the last checkpoint was committed; else false with its reason's line.
bool stopcheckpointer(CHECKPOINTER &c, std::string &error);
