// The game that in-process tests, benchmarks and fuzzers play on: one per
// process, as the server has one. Tests that need more make their own.
#pragma once

#include "game/game.h"

extern GAME testgame;
