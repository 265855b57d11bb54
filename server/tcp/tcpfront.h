// What port 3140's front end keeps beside the game it serves: the send
// timeout of its connections and the bytes they sent. One per port served;
// it outlives the port's connections.
#pragma once

#include <atomic>
#include <cstdint>

#include "game/game.h"

struct TCPFRONT {
    // Seconds an answer may wait for a client that reads nothing before the
    // connection ends (0: for ever): a client that never reads would
    // otherwise hold its answer (a whole picture of the map) for ever. Set
    // before connections start (the server from --stall-timeout).
    int stall = 0;
    std::atomic<uint64_t> bytessent{0}; // lock-free: every connection thread adds to it
    double bytesseen = 0; // what /metrics was told of bytessent: the scraping thread's
};

// Adds port 3140's connections and payload bytes of `front` (and g's count
// of connections) to g's metrics, read at each scrape. Before the threads.
void tcpmetrics(TCPFRONT &front, GAME &g);
