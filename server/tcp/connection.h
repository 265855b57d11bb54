// One client connection of port 3140: its state, and the command reader
// that turns the bytes of the stream into commands. The command loop that
// drives it is session.h's; the commands are commands.h's.
#pragma once

#include <cstddef>
#include <string>

#include "game/game.h"
#include "tcp/tcpport.h"
#include "protocol.h"
#include "wire.h"

enum { INBUFF = 4096 }; // read-ahead of one connection

// One client connection, owned by its thread.
typedef struct connection {
    GAME *game;                                   // the game it plays
    TCPPORT *port;                                // the port it came through
    int consock;                                  // the connection's socket
    std::string cmdline;                          // command text read and not yet run
    char inbuf[INBUFF];                           // bytes received and not yet consumed
    size_t inpos, inlen;                          // unconsumed bytes are inbuf[inpos, inlen)
    ACTOR actor;                                  // CLASSIC; actor.num is its player, -1 for none
    NETOVERHEAD tmpoverhead;                      // scratch trailer of login/setplayerinfo
    unsigned char tmpplayerinfo[PLAYERINFO_SIZE]; // last record the client sent
} CONNECTION;

// Sets up a connection of port t on socket `sock`: no player, nothing read.
void initconnection(CONNECTION *conn, TCPPORT &t, int sock);

// Outcome of scanning buffered bytes for one command.
enum CMDSCAN {
    SCAN_MORE,    // no terminator yet: more bytes are needed
    SCAN_PASS,    // one pass done: `used` bytes up to and including ';' consumed
    SCAN_TOOLONG, // CMDMAX bytes without ';'
};
// One pass of the command reader over data[0, len): finds the terminator,
// appends the text before the first NUL of the pass to cmdline. A pure
// function over bytes; the connection feeds it from its socket.
CMDSCAN cmdscan(std::string &cmdline, const char *data, size_t len, size_t *used);

// Reads one pass of the command reader from the connection: 0 when a pass
// is complete (cmdline may still lack its terminator after a NUL split),
// -1 when the stream ended, failed, or sent too long a command.
int readcommand(CONNECTION *conn);

// Receives a whole record for the connection: first the bytes already
// read ahead, then the rest from the socket. 0, or -1 when the stream
// ended or failed.
int connrecv(CONNECTION *conn, void *buff, size_t len);
