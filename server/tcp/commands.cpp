// Command handlers.
//
// Answers are short texts without terminator, or runs of records. Map and
// player answers are encoded under their lock and sent after it is
// released, so a client that stops reading stalls only its own connection.
#include "tcp/commands.h"

#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "game/game.h"
#include "tcp/mapanswer.h"
#include "tcp/transfer.h"

static int sendoverhead(CONNECTION *conn, int type)
{
    unsigned char bytes[NETOVERHEAD_SIZE];
    conn->tmpoverhead.type = type;
    encodeoverhead(&conn->tmpoverhead, bytes);
    return totsend(conn->consock, bytes, sizeof bytes, &conn->port->bytessent);
}

// Each handler either writes a short text answer into `text` (left empty
// for none) or sends its records itself; it returns -1 to end the
// connection.
typedef int (*HANDLER)(CONNECTION *conn, char *text, size_t size);

static int doversion(CONNECTION *, char *text, size_t size)
{
    snprintf(text, size, "%f", (double)fversion);
    return 0;
}

static int doprotocolversion(CONNECTION *, char *text, size_t size)
{
    snprintf(text, size, "%f", (double)netpro);
    return 0;
}

static int doclose(CONNECTION *, char *, size_t) { return -1; }

static int domapinfo(CONNECTION *conn, char *text, size_t size)
{
    const WORLD &w = conn->game->world;
    snprintf(text, size, "%ld %ld \"%s\"", w.mapsizex, w.mapsizey, w.mapname.c_str());
    return 0;
}

static int sendmap(CONNECTION *conn, bool full)
{
    MAPANSWER answer = mapanswer(*conn->game, conn->port->answers, full);
    if (!answer)
        return -1;
    return totsend(conn->consock, answer->data(), answer->size(), &conn->port->bytessent);
}

static int dogetmap(CONNECTION *conn, char *, size_t) { return sendmap(conn, false); }
static int dogetallmap(CONNECTION *conn, char *, size_t) { return sendmap(conn, true); }

static int dogetplayerinfo(CONNECTION *conn, char *, size_t)
{
    std::vector<PLAYERINFO> list;
    std::vector<unsigned char> bytes;
    try {
        list = copyplayers(conn->game->players);
        bytes.resize((list.size() + 1) * PLAYERINFO_SIZE);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    unsigned char *out = bytes.data();
    for (PLAYERINFO &entry : list) {
        entry.neto.type = NET_RECORD;
        entry.neto.checksum = 0;
        encodeplayerinfo(&entry, out);
        stamprecord(out, PLAYERINFO_SIZE);
        out += PLAYERINFO_SIZE;
    }
    // The closing record is the connection's scratch record with type 2.
    std::memcpy(out, conn->tmpplayerinfo, PLAYERINFO_SIZE);
    put32(out + typeat(PLAYERINFO_SIZE), NET_END);
    return totsend(conn->consock, bytes.data(), bytes.size(), &conn->port->bytessent);
}

static int dosetplayerinfo(CONNECTION *conn, char *, size_t)
{
    if (sendoverhead(conn, NET_READY) < 0 || connrecv(conn, conn->tmpplayerinfo, PLAYERINFO_SIZE) < 0)
        return -1;
    PLAYERINFO info;
    decodeplayerinfo(conn->tmpplayerinfo, &info);
    moveplayer(*conn->game, conn->actor, info.num, info.x, info.y);
    return sendoverhead(conn, NET_END);
}

static int dologin(CONNECTION *conn, char *, size_t)
{
    if (sendoverhead(conn, NET_READY) < 0 || connrecv(conn, conn->tmpplayerinfo, PLAYERINFO_SIZE) < 0)
        return -1;
    // A name without NUL in its 30 bytes is cut to NAMEMAX characters.
    char name[NAMEMAX + 1];
    std::memcpy(name, conn->tmpplayerinfo, NAMEMAX);
    name[NAMEMAX] = '\0';
    // Over its address's allowance: answered as a login that found the
    // list full.
    struct sockaddr_storage peer = {};
    socklen_t peerlen = sizeof peer;
    int num = -1;
    if (getpeername(conn->consock, (struct sockaddr *)&peer, &peerlen) == 0 &&
        takeaddresstoken(conn->game->logins, addresskey((struct sockaddr *)&peer), buckettime()))
        num = joingame(*conn->game, conn->actor, name);
    conn->tmpoverhead.x = num;
    return sendoverhead(conn, NET_END);
}

static int dosetfire(CONNECTION *conn, char *, size_t)
{
    setfire(*conn->game, conn->actor);
    return 0;
}

static const struct {
    const char *word;
    HANDLER run;
} commands[] = {
    {strversion, doversion},           {strprotocolversion, doprotocolversion},
    {strclose, doclose},               {strgetmapinfo, domapinfo},
    {strgetmap, dogetmap},             {strgetallmap, dogetallmap},
    {strgetplayerinfo, dogetplayerinfo}, {strsetplayerinfo, dosetplayerinfo},
    {strlogin, dologin},               {strsetfire, dosetfire},
};

int runcommand(CONNECTION *conn)
{
    char text[CMDMAX + 1] = "";
    int result = 0;
    for (const auto &c : commands) {
        if (conn->cmdline == c.word) {
            result = c.run(conn, text, sizeof text);
            break;
        }
    }
    size_t len = strlen(text);
    if (len > 0)
        sendtext(conn->consock, text, len, conn->port->bytessent);
    return result;
}
