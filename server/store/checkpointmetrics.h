// The checkpoints' numbers in the game's /metrics (game/metrics.h): their
// duration, the bytes they wrote, the age of the last committed one, the
// failures. Kept in the checkpoint thread's record (CHECKPOINTER).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "game/game.h"

// All null (nothing counted) until checkpointmetrics.
struct CHECKPOINTMETRICS {
    prometheus::Histogram *seconds = nullptr;
    prometheus::Counter *bytes = nullptr;
    prometheus::Gauge *age = nullptr; // set at each scrape from lastcommitns
    prometheus::Counter *failures = nullptr;
    std::atomic<int64_t> lastcommitns{-1}; // steady clock of the last committed checkpoint
};

// Adds the checkpoints' metrics to `registry` (nothing without one), before
// the threads start; their age counts from this call until a first commit.
void checkpointmetrics(CHECKPOINTMETRICS &m, METRICS &registry);
// One checkpoint taken: committed or failed, its seconds, the bytes it
// wrote (the thread that took it).
void observecheckpoint(CHECKPOINTMETRICS &m, bool committed, double seconds, size_t bytes);
