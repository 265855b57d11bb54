// The listening socket of port 3140 and the listener thread's accept step.
#pragma once

#include "game/game.h"
#include "tcp/tcpfront.h"

enum { BACKLOG = 10 }; // listen queue length

// Creates, binds (all local IPv4 addresses) and listens on a TCP socket for
// `port` (0: any free port). Returns the socket, or -1 after printing the
// failed call's name and the system's error text to standard error.
int setupnet(int port);
// Accepts one connection on `sockfd` for game g and front end `front`,
// starts its detached connection thread, pauses one second. Returns at
// once, without the pause, when the accept fails.
void check4new(GAME &g, TCPFRONT &front, int sockfd);
