// The operators' numbers, served at /metrics in the Prometheus text format
// (prometheus-cpp): the tick's duration and count, burning cells, players
// present, connections and payload bytes sent per protocol, stream frames
// sent and coalesced, web players' moves and fires dropped, web connections
// and JOINs refused by the limits, web RESUMEs by their result; with a
// store, the checkpoints' duration, bytes, age and failures; with rounds,
// rounds ended by why and the seconds left; with a fleet, whether it is up,
// the results waiting for it and the age of the game's row.
#pragma once

#include <cstddef>
#include <string>

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

// Creates the metrics (once for the process; later calls do nothing);
// called before the web threads start.
void initmetrics();
// Adds n to one of the web's counters (any thread).
void countweb(WEBCOUNT what, double n = 1);
// One tick of the server's world: its duration and the cells that burnt.
void observetick(double seconds, size_t burning);
// Adds the checkpoint metrics (a server with a store), before the web
// threads start; their age counts from this call until a first commit.
void initcheckpointmetrics();
// One checkpoint taken: committed or failed, its seconds, the bytes it
// wrote (any thread; a CHECKPOINTER's observer).
void observecheckpoint(bool committed, double seconds, size_t bytes);
// Open WebSocket connections (the web's io thread keeps it).
void setwebsockets(int n);
// Open web connections, HTTP and WebSocket (the web's io thread keeps it).
void setwebconnections(int n);
// Seconds since the last tick ended, or a negative number before the first.
double sincelasttick();
// The text of /metrics now, with g's players and port 3140's open
// connections. Takes playerlist_lock to count the players; called from
// the web's io thread.
std::string metricstext(GAME &g, int tcpconnections);
