// The game that in-process tests, benchmarks and fuzzers play on: one per
// process, as the server has one. Tests that need more make their own.
#pragma once

#include "game/game.h"
#include "tcp/tcpfront.h"

extern GAME testgame;
extern TCPFRONT testtcp; // port 3140's front end of testgame
