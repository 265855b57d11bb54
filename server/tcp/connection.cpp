// A connection's command reader.
#include "tcp/connection.h"

#include <errno.h>
#include <sys/socket.h>

#include <cstring>

#include "tcp/transfer.h"

void initconnection(CONNECTION *conn, TCPPORT &t, int sock)
{
    conn->game = t.game;
    conn->port = &t;
    conn->consock = sock;
    conn->cmdline.clear();
    conn->inpos = conn->inlen = 0;
    conn->actor = ACTOR{};
    std::memset(&conn->tmpoverhead, 0, sizeof conn->tmpoverhead);
    std::memset(conn->tmpplayerinfo, 0, sizeof conn->tmpplayerinfo);
}

CMDSCAN cmdscan(std::string &cmdline, const char *data, size_t len, size_t *used)
{
    size_t limit = len < (size_t)CMDMAX ? len : (size_t)CMDMAX;
    const char *term = (const char *)std::memchr(data, strterm[0], limit);
    if (!term) {
        *used = 0;
        return len >= (size_t)CMDMAX ? SCAN_TOOLONG : SCAN_MORE;
    }
    size_t passlen = (size_t)(term - data) + 1;
    // Only the text before the first NUL of the pass joins the command.
    cmdline.append(data, strnlen(data, passlen));
    *used = passlen;
    // Text joined over passes split at NULs matches no command once it is
    // longer than any: keep its head and its last byte (whether it ends in
    // the terminator), so a client cannot grow it without bound.
    if (cmdline.size() > (size_t)CMDMAX) {
        char last = cmdline.back();
        cmdline.resize(CMDMAX - 1);
        cmdline += last;
    }
    return SCAN_PASS;
}

int readcommand(CONNECTION *conn)
{
    for (;;) {
        size_t used;
        CMDSCAN r = cmdscan(conn->cmdline, conn->inbuf + conn->inpos, conn->inlen - conn->inpos, &used);
        if (r == SCAN_PASS) {
            conn->inpos += used;
            return 0;
        }
        if (r == SCAN_TOOLONG)
            return -1;
        // Keep the unconsumed bytes at the front and read more after them.
        if (conn->inpos > 0) {
            std::memmove(conn->inbuf, conn->inbuf + conn->inpos, conn->inlen - conn->inpos);
            conn->inlen -= conn->inpos;
            conn->inpos = 0;
        }
        ssize_t got = recv(conn->consock, conn->inbuf + conn->inlen, INBUFF - conn->inlen, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return -1;
        conn->inlen += (size_t)got;
    }
}

int connrecv(CONNECTION *conn, void *buff, size_t len)
{
    size_t have = conn->inlen - conn->inpos;
    size_t take = have < len ? have : len;
    std::memcpy(buff, conn->inbuf + conn->inpos, take);
    conn->inpos += take;
    if (take == len)
        return 0;
    return totrecv(conn->consock, (char *)buff + take, len - take) < 0 ? -1 : 0;
}
