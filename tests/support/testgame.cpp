// The in-process tests' game.
#include "testgame.h"

GAME testgame;
TCPPORT testport;
static const bool testportready = (testport.game = &testgame, true);
