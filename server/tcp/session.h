// The command loop of one client of port 3140, in its own thread.
//
// A connection thread loops: run the exposure step for its player, read one
// command (bytes up to ';', read ahead into the connection's own buffer),
// run it, answer. It ends on close, at the end of the stream, on a
// command longer than CMDMAX bytes, or when a transfer fails; it then
// closes its socket and its player leaves.
#pragma once

#include "tcp/tcpport.h"

// The command loop of a connection of port t on socket `sock`, until close
// or the end of the stream; then closes the socket and the player leaves.
void serveconnection(TCPPORT &t, int sock);

// What a connection thread is started with.
struct NEWCONNECTION {
    TCPPORT *port;
    int sock;
};
// Connection thread entry: `arg` is a heap NEWCONNECTION, freed here.
void *checksock(void *arg);
