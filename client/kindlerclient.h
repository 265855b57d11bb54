// The client side of the kindler protocol: connect, send commands, read
// their answers (short texts without terminator, or runs of fixed-size
// records ending in a closing record of type 2), log in, move, set fires.
// It speaks only the protocol: no screen, no game logic, nothing printed.
//
// Every function takes a KCLIENT and returns 0 (or a count) on success and
// one of the negative KC_* codes on failure, with a one-line description in
// `error`. Every wait for the server (connect, each read, each write) is
// limited to `timeoutms`. After a failure the stream may be out of step
// with the commands sent; the caller should call kcclose.
//
// Commands are answered in the order they are sent and the server reads
// nothing beyond a command's ";" until it has answered it, so functions
// may be called one after the other on one connection; bytes that arrive
// ahead of a function's answer stay in `pending` for the next function.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "wire.h"

enum {
    KC_OK = 0,
    KC_ERROR = -1,    // a system call failed (connect, send, recv, poll)
    KC_TIMEOUT = -2,  // the server sent or accepted nothing for timeoutms
    KC_CLOSED = -3,   // the server closed the connection
    KC_PROTOCOL = -4, // the server sent bytes that do not fit the answer
};

enum { KC_PORT = PORTNUM, KC_TIMEOUTMS = 5000 };

typedef struct kclient {
    int sock = -1;                     // connected socket, -1 when closed
    int timeoutms = KC_TIMEOUTMS;      // limit of every single wait
    std::string error;                 // description of the last failure
    std::vector<unsigned char> pending; // bytes received and not yet used
    size_t pendingpos = 0;             // pending[pendingpos..] are unused
    unsigned char lastsent[PLAYERINFO_SIZE] = {}; // last record sent (login/setplayerinfo)
} KCLIENT;

// Size and name of the map as getmapinfo reports them.
typedef struct kcmapinfo {
    long xsize = 0;
    long ysize = 0;
    std::string name; // as the server prints it (a name read from a map
                      // file usually keeps its closing quote: meadow")
} KCMAPINFO;

// Connects to host:port (IPv4; a dotted address or a host name). Waits at
// most timeoutms for the connection. Returns 0, or a KC_* code with
// kc->sock -1. A KCLIENT that was connected is closed first (no close).
int kcconnect(KCLIENT *kc, const char *host = "127.0.0.1", int port = KC_PORT,
              int timeoutms = KC_TIMEOUTMS);

// Sends close (when still connected) and closes the socket. Always
// leaves kc->sock at -1 and the read-ahead empty. Returns 0, or the code of
// a failed send (the socket is closed all the same).
int kcclose(KCLIENT *kc);

// Sends the bytes of `cmd` as they are (a command must end in ";"; nothing
// is added). Several commands may be sent in one call. Returns 0 or a code.
int kcsend(KCLIENT *kc, const std::string &cmd);
// Sends exactly len raw bytes (a record). Returns 0 or a code.
int kcsendbytes(KCLIENT *kc, const void *buff, size_t len);

// Receives exactly len bytes (read-ahead first). Returns 0 or a code; on
// failure the bytes already received are lost.
int kcrecv(KCLIENT *kc, void *buff, size_t len);

// Reads one answer printed with "%f" (version, protocolversion):
// digits, a point and exactly six digits, e.g. "0.100000". Reads nothing
// beyond it. Returns 0 or a code.
int kcreadfloat(KCLIENT *kc, std::string *text);

// Sends version / protocolversion and reads the answer ("0.100000").
int kcversion(KCLIENT *kc, std::string *text);
int kcprotocolversion(KCLIENT *kc, std::string *text);

// Sends getmapinfo and reads `W H "NAME"`. The answer has no terminator
// and the name may itself hold quotes, so the function sends version
// in the same packet and reads until the version answer (digits, a point,
// six digits) follows a closing quote; everything between the first quote
// and that closing quote is the name. Unambiguous unless the name itself
// contains a quote followed by such a number. Fills *info; returns 0 or a
// code. With no map loaded the server answers `0 0 ""`.
int kcmapinfo(KCLIENT *kc, KCMAPINFO *info);

// Reads a run of records of recsize bytes (40, 96 or 72) up to and
// including the first whose trailer type is 2 (NET_END), appending all of
// them, closing record included, to *records. Every type-1 record must
// XOR to 0; the closing record is not checked (its checksum belongs to
// another record). A type other than 1 or 2, or more than maxrecords
// records when maxrecords > 0, is KC_PROTOCOL (the rest is not read).
// Returns the number of type-1 records, or a code.
int kcreadrun(KCLIENT *kc, int recsize, std::vector<unsigned char> *records,
              size_t maxrecords = 0);

// Sends getmap / getallmap / getplayerinfo and reads the run.
// The decoded type-1 records go to *out in the server's order (cells x
// outer, y inner; players by number); the closing record, decoded, goes to
// *closing when that is not null. Returns the number of records or a code.
int kcgetmap(KCLIENT *kc, std::vector<UPDATEMAP> *out, UPDATEMAP *closing = nullptr);
int kcgetallmap(KCLIENT *kc, std::vector<FIRSTMAP> *out, FIRSTMAP *closing = nullptr);
int kcgetplayerinfo(KCLIENT *kc, std::vector<PLAYERINFO> *out, PLAYERINFO *closing = nullptr);

// Reads a lone 16-byte trailer into *neto and checks that its type is
// `type`: a trailer of another type is KC_PROTOCOL. Returns 0 or a code.
int kcreadtrailer(KCLIENT *kc, int type, NETOVERHEAD *neto);

// Logs in as `name` (cut to 29 characters): sends login, waits for the
// type-3 trailer, sends a 72-byte PLAYERINFO carrying the name (every other
// field 0, type 1, checksum stamped), reads the type-2 trailer and stores
// its x in *num: the new player's number, or -1 when the server refused
// the login (a map without start positions). Returns 0 or a code.
int kclogin(KCLIENT *kc, const char *name, int *num);

// Moves player num to (x, y): sends setplayerinfo, waits for the type-3
// trailer, sends a PLAYERINFO with that num, x and y (other fields 0), and
// reads the type-2 trailer. The server answers alike whether or not the
// move took effect (it refuses dead, left and unknown players). Returns 0
// or a code.
int kcmove(KCLIENT *kc, int num, int x, int y);

// Sends setfire: the server adds a fire on the cell of this
// connection's player. There is no answer. Returns 0 or a code.
int kcsetfire(KCLIENT *kc);
