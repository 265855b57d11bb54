// The support library of the tests: map texts and loading them into the
// server's world, the world and the player list seen from a test, the real
// kindler-server binary as a process, and what a client needs besides the
// client library (raw records, the in-process connection, map records
// checked at their offsets).
#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "kindlerclient.h"
#include "engine/cells.h"
#include "engine/mapfile.h"
#include "game/player.h"
#include "testgame.h"

// Empties the server's world and its player list.
void resetall();
// The fixture of tests that use the server's world and players: both are
// emptied after each test.
class WorldTest : public ::testing::Test {
protected:
    void TearDown() override { resetall(); }
};
// Reads `text` as a map file (throws MAPERROR).
MAPFILE readmaptext(const std::string &text);
// What the last map text given to loadmaptext said, as far as it was read.
extern MAPFILE loadedmap;
// Resets everything, then reads `text` into loadedmap and builds the
// server's world and start positions from it (throws MAPERROR).
void loadmaptext(const std::string &text);
// The same, but returns the line a refused file is refused with, or
// "(loaded)".
std::string maprefusal(const std::string &text);
// Of loadedmap: the first unit type numbered num (or null), the index of
// the last unit type (-1 for none), the map's name (null when no map
// element named one) and the number of start positions.
const UNITTYPE *typenum(int num);
long numtypes();
const char *mapname();
int s_pointsnum();
// The published cell with index i of the server's world.
MAPUNIT cellno(size_t i);
// A cell holding totalcal calories, of conduction coefficient cocon and
// heat capacity calperc, and nothing else: no fuel, no tags.
MAPUNIT plaincell(long double totalcal, long double cocon, long double calperc);
// Builds w as sizex x sizey cells like `cell`, its surroundings too.
void uniformworld(WORLD &w, long sizex, long sizey, const MAPUNIT &cell);
// Groups of columns that the tick found settled.
size_t settledgroups(const WORLD &w);
// What a writer does that cannot tell which groups of columns it stirred:
// it clears the whole record of what settled (under oldmap_lock).
void forgetsettled(WORLD &w = testgame.world);

// The real server binary, started with `args`, its stdout and stderr going
// to temporary files. Stopped (SIGKILL) and reaped by the destructor.
struct SERVERPROC {
    pid_t pid = -1;
    std::string outpath, errpath;
    int status = -1; // exit status once it has ended, else -1
    long nofile = 0; // when set before start: the server's descriptor limit, soft and hard
    long fsize = 0;  // when set before start: the server's file size limit in bytes

    SERVERPROC() = default;
    SERVERPROC(const SERVERPROC &) = delete;
    SERVERPROC &operator=(const SERVERPROC &) = delete;
    ~SERVERPROC();

    // Starts the server; returns once it listens on 3140 or has exited.
    // Fails the calling test (and returns false) if neither happens in 10 s.
    bool start(const std::vector<std::string> &args);
    // Only starts the process, without waiting for the port (for a test
    // that holds port 3140 itself).
    void launch(const std::vector<std::string> &args);
    // Waits up to timeout_ms for the process to end; returns its exit status
    // (0-255), 128+signal when killed, or -1 when it is still running.
    int wait(int timeout_ms);
    bool running();
    // Ends the server (SIGKILL) if it still runs; then fails the calling
    // test if the server's standard error holds a sanitizer report
    // ("Sanitizer" or "runtime error"). The destructor calls it too.
    void stop();
    void checksanitizer();
    bool sanitizerchecked = false;
    std::string out() const;
    std::string err() const;
};

// The server's player list, each under its lock: a copy of entry i, the
// number of entries, and changes of an entry's health and position.
PLAYERINFO playerentry(int i);
int playercount();
void setplayerhealth(int i, int health);
void placeplayer(int i, int x, int y);
// What a player entry holds, bar its record trailer, as one value that
// tests compare: name (up to its NUL), score, team, health, x, y, num.
struct PLAYERFIELDS {
    std::string name;
    int score, team, health, x, y, num;
    bool operator==(const PLAYERFIELDS &) const = default;
};
PLAYERFIELDS fieldsof(const PLAYERINFO &p);
std::ostream &operator<<(std::ostream &out, const PLAYERFIELDS &f);
// A 3 x 3 map of cells at 20 K that conduct nothing, with start positions
// (0,0), (1,1) and (2,2) unless `withstarts` is false.
void loadplayergrid(bool withstarts = true);

// A number from /proc/<pid>/status ("VmHWM", "VmRSS", "Threads"), in the
// file's unit (kB for memory); -1 when missing.
long procstatus(pid_t pid, const std::string &key);

// Path of the built server and of the shipped maps.
std::string serverpath();
std::string mapspath(const std::string &name);
// Writes `text` to a new temporary file and returns its path.
std::string tempfile(const std::string &text, const std::string &suffix = ".map");
std::string readfile(const std::string &path);

// True when some socket listens on TCP port 3140.
bool portlistening();
// A world described row by row with one character per cell, for compact
// test maps: each character is a type number 0-9.
std::string maptext(const std::string &types, const std::vector<std::string> &rows,
                    const std::string &start = "");
// A whole file around `body` (root element of version 0.2), and the unit
// type section holding `types`.
std::string wrapmap(const std::string &body);
std::string unittypes(const std::string &types);
// Unit types at rest: everything at the temperature of the surroundings
// (type 0), rock (1), grass (2) and wood (3), so that a world of them
// settles until a fire stirs it.
extern const std::string RESTTYPES;
// One unit type named t<num>, numbered num. Numbers are written as the
// map file takes them (no signs).
std::string typeline(int num, const char *temp, const char *cocon, const char *calperc,
                     const char *ignition = "9000", const char *fuel = "0", const char *burnspeed = "0",
                     const char *calperf = "0");
// Unit types of the README's example: the surroundings (type 0), blocking
// rock (1) and grass (2).
extern const std::string OUTSIDETYPE, ROCKTYPE, GRASSTYPE;
// The line of a file without an outside type.
extern const std::string NOOUTSIDE;

// ---- Clients and records ------------------------------------------------------
// The protocol is spoken through the client library (client/kindlerclient.h);
// these helpers add what a test needs besides.

// Connects kc to the server under test on 127.0.0.1:3140, retrying while
// it starts (up to 5 s); fails the calling test when it cannot.
void connectclient(KCLIENT *kc);

// Connects kc to the server under test and logs in as `name`; fails the
// calling test unless the login succeeds with the number `expected`.
void connectandlogin(KCLIENT *kc, const std::string &name, int expected = 0);

// A 72-byte player record as a client builds it (type 1, checksum
// stamped). The name fills at most the 30 bytes of its field, so one of 30
// characters or more has no NUL.
std::vector<unsigned char> playerrecord(const std::string &name, int num = 0, int x = 0, int y = 0, int health = 0,
                                        int score = 0, int team = 0);

// The record exchange of login and setplayerinfo with bytes that the
// client library would not send: sends cmd, reads the type-3 trailer and
// sends `bytes` as they are. When they are a whole record it then reads
// the type-2 trailer and stores its x (a login's number) in *answer.
// Returns 0 or a KC_* code (KC_PROTOCOL for a trailer of another type).
int rawexchange(KCLIENT *kc, const std::string &cmd, const std::vector<unsigned char> &bytes, int *answer = nullptr);

// The records that cell c at (x, y) makes in the map answers.
FIRSTMAP firstmapof(const MAPUNIT &c, int x, int y, int type = NET_RECORD);
UPDATEMAP updatemapof(const MAPUNIT &c, int x, int y, int type = NET_RECORD);
// Checks a map record on the wire against `want`, field by field at its
// offset and byte for byte (not through the decoder), the trailer's x, y
// and type included (its checksum not).
void expectrecordat(const unsigned char *rec, const FIRSTMAP &want);
void expectrecordat(const unsigned char *rec, const UPDATEMAP &want);

// The map of the in-process protocol tests: 3 x 2 cells, (x, y) being
// rows[y][x] of {"121", "212"}. Type 1, moss: 50 K at 2 cal/K, so 100.0
// calories. Type 2, slab: 300 K at 1 cal/K, blocking. Start positions
// (1,0) and (2,1) unless `withstarts` is false. Nothing conducts to the
// surroundings.
void loadprotocolmap(bool withstarts = true);
// The fixture of those tests: the map loaded before each.
class ProtocolTest : public WorldTest {
protected:
    void SetUp() override { loadprotocolmap(); }
};

// One connection of the server's command loop (serveconnection) without a
// listening port: the loop runs on one end of a socketpair in a thread of
// its own, and kc speaks to the other end.
struct SESSION {
    int fds[2] = {-1, -1};
    std::thread server;
    KCLIENT kc;

    SESSION();
    SESSION(const SESSION &) = delete;
    SESSION &operator=(const SESSION &) = delete;
    ~SESSION() { end(); }
    // Closes the client's end (the end of the stream for the loop) and
    // waits until the connection has ended.
    void end();
    // Returns once every command sent so far has run: a "version;" sent
    // after them is answered only then.
    void sync();
    // Exactly n bytes of answer.
    std::string recvbytes(size_t n);
    // Logs in as `name`: the player's number, or -2 on failure.
    int login(const std::string &name);
};
