// The listener thread's loop.
#include "tcp/tcpport.h"

#include <sys/socket.h>

#include "tcp/listener.h"

void *netloop(void *arg)
{
    TCPPORT &t = *(TCPPORT *)arg;
    while (!gamestopping(*t.game))
        check4new(t, t.sockfd);
    return nullptr;
}

void stoplistener(TCPPORT &t) { shutdown(t.sockfd, SHUT_RDWR); }
