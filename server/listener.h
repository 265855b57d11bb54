// The listening socket and the listener thread's accept loop.
#pragma once

#include <netinet/in.h>

extern int portnum;              // TCP port, PORTNUM
extern int backlog;              // listen queue length, 10
extern int sockfd;               // the listening socket
extern struct sockaddr_in my_addr;

// Creates, binds and listens on the server socket; exits on failure.
void setupnet();
// Accepts one connection, starts its detached thread, pauses one second.
void *check4new(void *junk);
