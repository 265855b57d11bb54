// The game that in-process tests, benchmarks and fuzzers play on: one per
// process, as the server has one. Tests that need more make their own.
#pragma once

#include "game/game.h"
#include "tcp/tcpport.h"

extern GAME testgame;
// Port 3140's record of testgame (no socket): what in-process
// connections of it share.
extern TCPPORT testport;
