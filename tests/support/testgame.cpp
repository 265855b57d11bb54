// The in-process tests' game.
#include "testgame.h"

GAME testgame;
TCPFRONT testtcp;
