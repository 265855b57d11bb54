// The simulation loop of the main thread and the listener thread's loop.
#pragma once

#include "game/game.h"
#include "tcp/tcpfront.h"

// One tick of the game, as the simulation loop runs it every
// g.tick.interval: the physics and its publication (dophys), then the
// exposure step of every player of the fair policy, the end of kept
// players whose keep time is up, the tick's metrics, then the observer.
void tickgame(GAME &g);
// Tick g, pause g.tick.interval, repeat until g.stopping is set. After each
// tick, `ticked(arg)` when given (it must not wait: the server's watchdog
// and its checkpoint thread's signal).
void mainloop(GAME &g, void (*ticked)(void *) = nullptr, void *arg = nullptr);

// What the listener thread serves: a game, its port's front end and its
// listening socket.
struct LISTENER {
    GAME *game;
    TCPFRONT *front;
    int sockfd;
};
// The listener thread (`arg` points at a LISTENER that outlives it):
// check4new until the game stops (stopgame wakes a waiting accept).
void *netloop(void *arg);

// Ends a game's loops: mainloop returns after its tick, and netloop once
// its listening socket, shut down here, wakes it. Connections already open
// go on until their clients leave (g.connections counts them).
void stopgame(GAME &g, int sockfd);
