// Fuzz target: any byte stream as the input of one connection's command
// reader. The pure scanner (cmdscan) is run over the bytes as they stand,
// and the connection's reader (readcommand) over the same bytes arriving
// through a socket; both must keep their promises and yield the same
// commands in the same order. Every complete command is at most 1023
// bytes, ends in its terminator and holds no NUL.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "tcp/connection.h"
#include "tcp/transfer.h"
#include "testgame.h"

// Larger inputs would not fit a socket's buffer in one write.
static const size_t MAXINPUT = 32 * 1024;

static bool complete(const std::string &cmdline)
{
    return !cmdline.empty() && cmdline.back() == strterm[0];
}

static void checkcommand(const std::string &cmd)
{
    FUZZCHECK(cmd.size() <= (size_t)CMDMAX);
    FUZZCHECK(cmd.find('\0') == std::string::npos);
    FUZZCHECK(cmd.find(strterm[0]) == cmd.size() - 1);
}

// The commands the scanner finds in data, in order.
static std::vector<std::string> scanall(const char *data, size_t len)
{
    std::vector<std::string> commands;
    std::string cmdline;
    size_t pos = 0;
    for (;;) {
        size_t used = 12345;
        const std::string before = cmdline;
        CMDSCAN r = cmdscan(cmdline, data + pos, len - pos, &used);
        const char *rest = data + pos;
        size_t restlen = len - pos;
        size_t window = restlen < (size_t)CMDMAX ? restlen : (size_t)CMDMAX;
        if (r == SCAN_MORE) {
            FUZZCHECK(used == 0);
            FUZZCHECK(restlen < (size_t)CMDMAX);
            FUZZCHECK(std::memchr(rest, strterm[0], restlen) == nullptr);
            FUZZCHECK(cmdline == before);
            break;
        }
        if (r == SCAN_TOOLONG) {
            FUZZCHECK(std::memchr(rest, strterm[0], window) == nullptr && restlen >= (size_t)CMDMAX);
            break;
        }
        FUZZCHECK(r == SCAN_PASS);
        FUZZCHECK(used >= 1 && used <= window);
        FUZZCHECK(rest[used - 1] == strterm[0]);
        FUZZCHECK(std::memchr(rest, strterm[0], used - 1) == nullptr);
        // The pass's text before its first NUL joins the command; joined
        // text longer than any command keeps its head and its last byte.
        std::string joined = before + std::string(rest, strnlen(rest, used));
        if (joined.size() > (size_t)CMDMAX)
            joined = joined.substr(0, (size_t)CMDMAX - 1) + joined.back();
        FUZZCHECK(cmdline == joined);
        pos += used;
        if (complete(cmdline)) {
            checkcommand(cmdline);
            commands.push_back(cmdline);
            cmdline.clear();
        }
    }
    return commands;
}

// The commands the connection's reader yields for data sent by a peer that
// then closes its side.
static std::vector<std::string> readall(const char *data, size_t len)
{
    std::vector<std::string> commands;
    int sv[2];
    FUZZCHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0);
    int bufsize = (int)MAXINPUT * 2;
    setsockopt(sv[0], SOL_SOCKET, SO_SNDBUF, &bufsize, sizeof bufsize);
    setsockopt(sv[1], SOL_SOCKET, SO_RCVBUF, &bufsize, sizeof bufsize);
    FUZZCHECK(totsend(sv[0], data, len) == 0);
    shutdown(sv[0], SHUT_WR);
    CONNECTION *conn = new CONNECTION;
    initconnection(conn, testgame, testtcp, sv[1]);
    while (readcommand(conn) == 0) {
        FUZZCHECK(conn->inpos <= conn->inlen && conn->inlen <= INBUFF);
        if (complete(conn->cmdline)) {
            checkcommand(conn->cmdline);
            commands.push_back(conn->cmdline);
            conn->cmdline.clear();
        }
    }
    delete conn;
    close(sv[0]);
    close(sv[1]);
    return commands;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > MAXINPUT)
        return -1;
    std::vector<std::string> scanned = scanall((const char *)data, size);
    std::vector<std::string> read = readall((const char *)data, size);
    FUZZCHECK(scanned == read);
    return 0;
}
