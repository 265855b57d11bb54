// The network side: the listening socket and its listener, one detached
// thread per connection running the command loop, the exposure step run
// before every command, and the primitives that move whole records.
#pragma once

#include <netinet/in.h>
#include <pthread.h>

#include <cstddef>
#include <ctime>
#include <string>

#include "wire.h"

extern int portnum;              // TCP port, 3140
extern int backlog;              // listen queue length, 10
extern int sockfd;               // the listening socket
extern struct sockaddr_in my_addr;
// Seconds an answer may wait for a client that reads nothing before the
// connection ends: a client that never reads would otherwise hold its
// answer (a whole picture of the map) for ever. Set before connections
// start (tests shorten it).
extern int sendstall;

// Command words, terminator included.
extern const char strterm[];
extern const char strversion[];
extern const char strprotocolversion[];
extern const char strclose[];
extern const char strgetmapinfo[];
extern const char strgetmap[];
extern const char strgetallmap[];
extern const char strgetplayerinfo[];
extern const char strsetplayerinfo[];
extern const char strlogin[];
extern const char strsetfire[];

enum { CMDBUFF = 1024 };  // a command and its terminator fit in 1023 bytes
enum { INBUFF = 4096 };   // read-ahead of one connection

// One client connection, owned by its thread.
typedef struct connection {
    int consock;                                // the connection's socket
    std::string cmdline;                        // command text read and not yet run
    char inbuf[INBUFF];                         // bytes received and not yet consumed
    size_t inpos, inlen;                        // unconsumed bytes are inbuf[inpos, inlen)
    int ourplayer;                              // player of this connection, -1 for none
    time_t lasttime;                            // pacing of the exposure step
    NETOVERHEAD tmpoverhead;                    // scratch trailer of login/setplayerinfo
    unsigned char tmpplayerinfo[PLAYERINFO_SIZE]; // last record the client sent
} CONNECTION;

// Sets up a connection on socket `sock`: no player, nothing read.
void initconnection(CONNECTION *conn, int sock);

// Outcome of scanning buffered bytes for one command.
enum CMDSCAN {
    SCAN_MORE,    // no terminator yet: more bytes are needed
    SCAN_PASS,    // one pass done: `used` bytes up to and including ';' consumed
    SCAN_TOOLONG, // 1023 bytes without ';'
};
// One pass of the command reader over data[0, len): finds the terminator,
// appends the text before the first NUL of the pass to cmdline. A pure
// function over bytes; the connection feeds it from its socket.
CMDSCAN cmdscan(std::string &cmdline, const char *data, size_t len, size_t *used);

// Reads one pass of the command reader from the connection: 0 when a pass
// is complete (cmdline may still lack its terminator after a NUL split),
// -1 when the stream ended, failed, or sent too long a command.
int readcommand(CONNECTION *conn);

// Runs the command in conn->cmdline and sends its answer. Returns 0 to go
// on, -1 when the connection must end ("close;" or a transfer that failed).
int runcommand(CONNECTION *conn);

// The exposure step for the connection's player: damage from a hot cell,
// credit to the players whose heat is in it.
void doexposure(int ourplayer);

// The command loop of one connection, until "close;" or the end of the
// stream; then closes the socket and marks the player as left.
void serveconnection(int sock);

// Creates, binds and listens on the server socket; exits on failure.
void setupnet();
// Accepts one connection, starts its detached thread, pauses one second.
void *check4new(void *junk);
// Connection thread entry: `sock` points at a heap int holding the socket.
void *checksock(void *sock);

// Move exactly len bytes; retry interrupted and short transfers. Return
// len (totrecv) or 0 (totsend) on success, -1 when the stream ended or
// failed for good. Sends never raise SIGPIPE.
int totsend(int sock, const void *buff, size_t len, int op);
int totrecv(int sock, void *buff, size_t len, int op);
void clearbuff(void *buff, size_t len);
