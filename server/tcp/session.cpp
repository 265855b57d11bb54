// A connection thread's command loop.
#include "tcp/session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <new>

#include "tcp/commands.h"
#include "tcp/connection.h"
#include "game/game.h"

void serveconnection(TCPPORT &t, int sock)
{
    GAME &g = *t.game;
    t.connections.fetch_add(1, std::memory_order_relaxed);
    CONNECTION *conn = new CONNECTION;
    initconnection(conn, t, sock);
    struct timeval stall = {t.stall, 0};
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &stall, sizeof stall);
    for (;;) {
        doexposure(g, conn->actor.num); // before every command read
        if (readcommand(conn) < 0)
            break;
        if (conn->cmdline.empty() || conn->cmdline.back() != strterm[0])
            continue; // a NUL split the command: join it with the next
        int result;
        try {
            result = runcommand(conn);
        } catch (const std::bad_alloc &) {
            result = -1;
        }
        conn->cmdline.clear();
        if (result < 0)
            break;
    }
    close(conn->consock);
    leavegame(g, conn->actor);
    delete conn;
    t.connections.fetch_sub(1, std::memory_order_release); // the port may go once it reads 0
}

void *checksock(void *arg)
{
    NEWCONNECTION c = *(NEWCONNECTION *)arg;
    delete (NEWCONNECTION *)arg;
    serveconnection(*c.port, c.sock);
    return nullptr;
}
