// The web endpoint: on one TCP port (WEBPORT unless the command line moves
// it), the page that plays the game in a browser, its live stream over a
// WebSocket, and /healthz and /metrics for operators. It runs beside the
// game on port 3140, in two threads of its own (doc/threads.md).
#pragma once

// Opens the web port on all local IPv4 addresses and starts the endpoint's
// threads. When the port cannot be opened: if `chosen` (the command line
// named it) start-up fails with one line on standard error and exit
// status 1; otherwise one line on standard error says so and the game
// goes on without the endpoint. Called once, after the map is loaded and
// before port 3140 is opened.
void startweb(int port, bool chosen);
