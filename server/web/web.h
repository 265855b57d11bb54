// The web endpoint: on one TCP port (WEBPORT unless the command line moves
// it), the page that plays the game in a browser, its live stream over a
// WebSocket, and /healthz and /metrics for operators. It runs beside the
// game on port 3140, in two threads of its own (doc/threads.md).
#pragma once

#include "game/game.h"
#include "web/websettings.h"

// Opens the web port for game g on all local IPv4 addresses and starts the
// endpoint's threads, with `settings`' limits and its metrics in g's
// registry (when it has one). Returns false, after one line on standard error,
// when the port cannot be opened: the line says that the page is off
// unless `chosen` (the command line named the port: start-up then ends).
// The port it listens on goes into *bound when given (`port` 0: a free
// one). Called once, after the map is loaded and before port 3140 is
// opened and the first tick.
bool startweb(GAME &g, const WEBSETTINGS &settings, int port, bool chosen, int *bound = nullptr);
