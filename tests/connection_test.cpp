// The command loop of one connection, in-process (tests/support's
// SESSION): how commands are read from the stream (several in one packet,
// a record in the same packet as its command, NUL bytes, the length
// limit, a line end left over), how a connection ends (end of stream,
// "close;", half a record), and the pure command scanner.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tcp/connection.h"
#include "kindlerclient.h"
#include "support.h"

using Connection = ProtocolTest;

// ---------------------------------------------------------------------------
// The command loop

TEST_F(Connection, TwoCommandsInOnePacketAreAnsweredBackToBack)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "version;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(8 + 11), "0.1000003 2 \"test\"\"");
    ASSERT_EQ(kcsend(&s.kc, "protocolversion;"), 0);
    EXPECT_EQ(s.recvbytes(8), "0.100000");
}

TEST_F(Connection, TrailingNewlineSpoilsTheNextCommand)
{
    SESSION s;
    ASSERT_EQ(kcsend(&s.kc, "version;\n"), 0);
    EXPECT_EQ(s.recvbytes(8), "0.100000");
    // "\nversion;" matches nothing; the next answer is getmapinfo's.
    ASSERT_EQ(kcsend(&s.kc, "version;getmapinfo;"), 0);
    EXPECT_EQ(s.recvbytes(11), "3 2 \"test\"\"");
    s.sync();
}

TEST_F(Connection, LoginRecordInTheSamePacketAsTheCommand)
{
    SESSION s;
    std::vector<unsigned char> packet = {'l', 'o', 'g', 'i', 'n', ';'};
    std::vector<unsigned char> rec = playerrecord("eager", 77, 5, 5, 3, 4, 5);
    packet.insert(packet.end(), rec.begin(), rec.end());
    ASSERT_EQ(kcsendbytes(&s.kc, packet.data(), packet.size()), 0);
    std::string t = s.recvbytes(2 * NETOVERHEAD_SIZE);
    const unsigned char *p = (const unsigned char *)t.data();
    EXPECT_EQ(get32(p + 12), NET_READY);
    EXPECT_EQ(get32(p + 16 + 12), NET_END);
    EXPECT_EQ(get32(p + 16), 0);
    // Only the name of the record is used.
    EXPECT_EQ(fieldsof(playerentry(0)), (PLAYERFIELDS{"eager", 0, 0, 100, 1, 0, 0}));
    s.sync();
}

TEST_F(Connection, NulSplitCommandRunsOnceComplete)
{
    SESSION s;
    const char bytes[] = {'g', 'e', 't', '\0', 'x', ';', 'm', 'a', 'p', ';'};
    ASSERT_EQ(kcsendbytes(&s.kc, bytes, sizeof bytes), 0);
    std::vector<unsigned char> run;
    EXPECT_EQ(kcreadrun(&s.kc, UPDATEMAP_SIZE, &run), 6) << s.kc.error;
    s.sync();
}

TEST_F(Connection, LongTextJoinedAtNulsIsIgnoredAndTheConnectionGoesOn)
{
    SESSION s;
    std::string pass(600, 'a');
    pass += '\0';
    pass += ';';
    for (int i = 0; i < 4; i++) // 2400 bytes of joined text, none complete
        ASSERT_EQ(kcsendbytes(&s.kc, pass.data(), pass.size()), 0);
    ASSERT_EQ(kcsend(&s.kc, "version;"), 0); // completes the joined text: ignored
    ASSERT_EQ(kcsend(&s.kc, "version;"), 0);
    char answer[9] = {0};
    ASSERT_EQ(kcrecv(&s.kc, answer, 8), 0) << s.kc.error;
    EXPECT_STREQ(answer, "0.100000");
    s.sync();
}

TEST_F(Connection, CommandOf1023BytesIsReadButOneLongerEndsTheConnection)
{
    {
        SESSION s;
        std::string cmd(1022, 'a');
        cmd += ";";
        ASSERT_EQ(kcsend(&s.kc, cmd), 0);
        s.sync();
    }
    SESSION s;
    ASSERT_EQ(s.login("talker"), 0);
    ASSERT_EQ(kcsend(&s.kc, std::string(1024, 'a')), 0);
    char c;
    EXPECT_EQ(kcrecv(&s.kc, &c, 1), KC_CLOSED);
    s.end();
    EXPECT_EQ(playerentry(0).num, -1);
}

TEST_F(Connection, EndOfStreamMarksThePlayerAsLeft)
{
    SESSION s;
    ASSERT_EQ(s.login("brief"), 0);
    s.end();
    PLAYERINFO e = playerentry(0);
    EXPECT_EQ(e.num, -1);
    EXPECT_STREQ(e.name, "brief");
    EXPECT_EQ(e.health, 100);
}

TEST_F(Connection, CloseEndsTheConnectionAndMarksThePlayerAsLeft)
{
    SESSION s;
    ASSERT_EQ(s.login("polite"), 0);
    ASSERT_EQ(kcsend(&s.kc, "close;version;"), 0);
    char c;
    EXPECT_EQ(kcrecv(&s.kc, &c, 1), KC_CLOSED); // nothing after close
    s.end();
    EXPECT_EQ(playerentry(0).num, -1);
}

TEST_F(Connection, EndInTheMiddleOfALoginRecordAddsNobody)
{
    SESSION s;
    std::vector<unsigned char> rec = playerrecord("half");
    rec.resize(30);
    ASSERT_EQ(rawexchange(&s.kc, "login;", rec), 0) << s.kc.error;
    s.end();
    EXPECT_EQ(playercount(), 0);
}

// ---------------------------------------------------------------------------
// The pure scanner

namespace {

// One pass of cmdscan over `data` onto cmd: what it returns, and the bytes
// it used (99 when it sets nothing).
struct PASS {
    CMDSCAN result;
    size_t used;
    bool operator==(const PASS &) const = default;
};
std::ostream &operator<<(std::ostream &out, const PASS &p) { return out << "{" << p.result << ", " << p.used << "}"; }

PASS scanpass(std::string &cmd, const std::string &data)
{
    size_t used = 99;
    CMDSCAN result = cmdscan(cmd, data.data(), data.size(), &used);
    return {result, used};
}

} // namespace

TEST(CmdScan, WithoutTerminatorItAsksForMore)
{
    std::string cmd;
    EXPECT_EQ(scanpass(cmd, "versi"), (PASS{SCAN_MORE, 0}));
    EXPECT_EQ(cmd, "");
}

TEST(CmdScan, OnePassStopsAfterTheTerminator)
{
    std::string cmd;
    EXPECT_EQ(scanpass(cmd, "version;getmap;"), (PASS{SCAN_PASS, 8}));
    EXPECT_EQ(cmd, "version;");
}

TEST(CmdScan, NulDropsTheRestOfThePassAndJoinsTheNext)
{
    std::string cmd;
    const std::string data("get\0x;map;", 10);
    EXPECT_EQ(scanpass(cmd, data), (PASS{SCAN_PASS, 6}));
    EXPECT_EQ(cmd, "get");
    EXPECT_EQ(scanpass(cmd, data.substr(6)), (PASS{SCAN_PASS, 4}));
    EXPECT_EQ(cmd, "getmap;");
}

TEST(CmdScan, NewlineStaysForTheNextCommand)
{
    std::string cmd;
    EXPECT_EQ(scanpass(cmd, "version;\nversion;"), (PASS{SCAN_PASS, 8}));
    EXPECT_EQ(cmd, "version;");
    cmd.clear();
    EXPECT_EQ(scanpass(cmd, "\nversion;"), (PASS{SCAN_PASS, 9}));
    EXPECT_EQ(cmd, "\nversion;");
}

TEST(CmdScan, LimitIs1023BytesWithTheTerminator)
{
    std::string cmd;
    const std::string ok = std::string(1022, 'a') + ";";
    EXPECT_EQ(scanpass(cmd, ok), (PASS{SCAN_PASS, 1023}));
    cmd.clear();
    std::string longer(1023, 'a');
    EXPECT_EQ(scanpass(cmd, longer).result, SCAN_TOOLONG);
    EXPECT_EQ(scanpass(cmd, longer + ";").result, SCAN_TOOLONG);
    // 1022 bytes without ';' may still be completed by the next byte.
    EXPECT_EQ(scanpass(cmd, ok.substr(0, 1022)).result, SCAN_MORE);
}

TEST(CmdScan, JoinedTextStaysBoundedAndMatchesNothing)
{
    std::string cmd(1000, 'a'); // left by passes split at a NUL
    EXPECT_EQ(scanpass(cmd, std::string(30, 'b') + ";"), (PASS{SCAN_PASS, 31}));
    EXPECT_EQ(cmd.size(), 1023u);
    EXPECT_EQ(cmd.back(), ';'); // complete: it is compared, and ignored
    // Split again at a NUL: still incomplete, still bounded.
    cmd.assign(1020, 'a');
    EXPECT_EQ(scanpass(cmd, std::string("ccccc\0x;", 8)).result, SCAN_PASS);
    EXPECT_EQ(cmd.size(), 1023u);
    EXPECT_EQ(cmd.back(), 'c');
}
