// Shared parts of the benchmark program.
#pragma once

#include "engine/tick/tick.h"
#include "engine/world.h"

struct WORLDSTATS {
    double burning = 0;      // fraction of cells at or past ignition with fuel
    double tagged = 0;       // fraction of cells holding attribution
    double bytespercell = 0; // bytes the world holds per cell
};

// A generated size x size meadow, cold and uniform, or burning: one burning
// cell and one player's five fires (each player its own tag) per 4,096
// cells, then 100 warm-up ticks (with `tick`, when given, the tick state
// the benchmark goes on with, so its scratch and thread split are warm).
void makeworld(WORLD &c, long size, bool burning, WORLDSTATS *stats, TICKSTATE *tick = nullptr);

void registertickbenchmarks();
void registerwebbenchmarks();
void registernetbenchmarks();
void registerstreambenchmarks();
void registerstorebenchmarks();
void registerfleetbenchmarks();
void releaseworlds();
void releasestreamworlds();
// Stops the in-process server of the network benchmarks, if it runs (a
// filter may have left out the benchmark that stops it).
void stopnetserver();
