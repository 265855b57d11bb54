// The command loop of one client of port 3140, in its own thread.
//
// A connection thread loops: run the exposure step for its player, read one
// command (bytes up to ';', read ahead into the connection's own buffer),
// run it, answer. It ends on close, at the end of the stream, on a
// command longer than CMDMAX bytes, or when a transfer fails; it then
// closes its socket and its player leaves.
#pragma once

#include "game/game.h"
#include "tcp/tcpfront.h"

// The command loop of a connection of game g, come in on `front`, on socket
// `sock`, until close or the end of the stream; then closes the socket and
// the player leaves.
void serveconnection(GAME &g, TCPFRONT &front, int sock);

// What a connection thread is started with.
struct NEWCONNECTION {
    GAME *game;
    TCPFRONT *front;
    int sock;
};
// Connection thread entry: `arg` is a heap NEWCONNECTION, freed here.
void *checksock(void *arg);
