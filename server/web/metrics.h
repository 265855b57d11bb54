// The web endpoint's numbers in its game's /metrics (game/metrics.h):
// payload bytes sent over HTTP and WebSocket, stream frames sent and
// coalesced, web players' moves and fires dropped, web connections and
// JOINs refused by the limits, web RESUMEs by their result, open web and
// WebSocket connections. Kept in the endpoint's WEBGAME; prometheus-cpp
// guards each metric itself.
#pragma once

#include "game/game.h"

enum WEBCOUNT {
    FRAMESSENT,     // TILES messages sent to web clients
    FRAMESCOALESCED, // ticks a slow web client skipped (it got a later state)
    MOVESDROPPED,   // web players' moves over the rate limit
    FIRESDROPPED,   // web players' fires over the rate limit
    MOVESREFUSED,   // moves off the map, onto a blocking cell, or of a dead player
    WSBYTESSENT,    // bytes of WebSocket message payloads sent (before compression)
    HTTPBYTESSENT,  // bytes of HTTP bodies sent
    REFUSEDADDRESS, // web connections refused: their address was at its cap
    REFUSEDTOTAL,   // web connections refused: the web port was full
    REFUSEDDESCRIPTORS, // web connections refused: descriptors kept for port 3140
    REFUSEDWEBSOCKETS,  // WebSocket upgrades refused: too many WebSocket clients
    REFUSEDORIGIN,  // WebSocket upgrades refused: a foreign Origin
    JOINSREFUSEDCONNECTION, // web JOINs over the connection's rate
    JOINSREFUSEDADDRESS,    // web JOINs over the address's rate
    RESUMED,        // web RESUMEs that gave a player back
    RESUMEUNKNOWN,  // web RESUMEs of an unknown or expired token
    WEBCOUNTS
};

// The web's metrics, all null (nothing counted) until webmetrics.
struct WEBMETRICS {
    prometheus::Counter *counts[WEBCOUNTS] = {};
    prometheus::Gauge *wsconns = nullptr;  // open WebSocket connections
    prometheus::Gauge *webconns = nullptr; // open web connections, HTTP and WebSocket
};

// Adds the web's metrics to `registry` (nothing without one); before the
// web's threads start.
void webmetrics(WEBMETRICS &m, METRICS &registry);
// Adds n to one of the web's counters (any thread).
void countweb(WEBMETRICS &m, WEBCOUNT what, double n = 1);
// Open WebSocket connections (the web's io thread keeps it).
void setwebsockets(WEBMETRICS &m, int n);
// Open web connections, HTTP and WebSocket (the web's io thread keeps it).
void setwebconnections(WEBMETRICS &m, int n);
