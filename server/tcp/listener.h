// The listening socket of port 3140 and the listener thread's accept step.
#pragma once

#include "tcp/tcpport.h"

enum { BACKLOG = 10 }; // listen queue length

// Creates, binds (all local IPv4 addresses) and listens on a TCP socket for
// `port` (0: any free port). Returns the socket, or -1 after printing the
// failed call's name and the system's error text to standard error.
int setupnet(int port);
// Accepts one connection on `sockfd` for port t, starts its detached
// connection thread, pauses one second. Returns at once, without the
// pause, when the accept fails.
void check4new(TCPPORT &t, int sockfd);

// The listener thread (`arg` points at a TCPPORT that outlives it):
// check4new until the game stops (stoplistener wakes a waiting accept).
void *netloop(void *arg);
// Shuts the listening socket down, which wakes a waiting accept: netloop
// then ends once the game stops. Connections already open go on until
// their clients leave (`connections` counts them).
void stoplistener(TCPPORT &t);
