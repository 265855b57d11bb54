// What pages send: each message read, and each malformed or out-of-range
// one closing the connection with its code.
#include <gtest/gtest.h>

#include <string>

#include "clientmsg.h"
#include "game/tokenbucket.h"

namespace {

CLIENTMSG parse(const std::string &bytes, bool text = false) { return parseclient(bytes.data(), bytes.size(), text); }

int closecode(const std::string &bytes, bool text = false)
{
    const CLIENTMSG m = parse(bytes, text);
    return m.action == DOCLOSE ? m.closecode : 0;
}

std::string bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int v : b)
        s += (char)(uint8_t)v;
    return s;
}

} // namespace

TEST(ClientMessages, ViewIsReadWithItsSignedCorner)
{
    const CLIENTMSG m = parse(bytes({1, 0xfe, 0xff, 0xff, 0xff, 10, 0, 0, 0, 160, 0, 100, 0}));
    ASSERT_EQ(m.action, DOVIEW);
    EXPECT_EQ(m.view, (CELLRECT{-2, 10, 160, 100}));
}

TEST(ClientMessages, JoinMoveAndFireAreRead)
{
    CLIENTMSG m = parse("\x02" "alice");
    ASSERT_EQ(m.action, DOJOIN);
    EXPECT_EQ(m.name, "alice");
    m = parse(bytes({3, 0xff, 1}));
    ASSERT_EQ(m.action, DOMOVE);
    EXPECT_EQ(m.dx, -1);
    EXPECT_EQ(m.dy, 1);
    EXPECT_EQ(parse(bytes({4})).action, DOFIRE);
    EXPECT_EQ(parse("\x02" + std::string(29, 'n')).action, DOJOIN);
    m = parse(std::string("\x02" "bob\0", 5) + std::string(64, 'k'));
    ASSERT_EQ(m.action, DOJOIN);
    EXPECT_EQ(m.name, "bob");
    EXPECT_EQ(m.key, std::string(64, 'k'));
    m = parse("\x05" + std::string(64, 'f'));
    ASSERT_EQ(m.action, DORESUME);
    EXPECT_EQ(m.token, std::string(64, 'f'));
}

TEST(ClientMessages, TextAndUnknownTypesClose1003)
{
    EXPECT_EQ(closecode(bytes({4}), true), CLOSEUNSUPPORTED);
    EXPECT_EQ(closecode(bytes({6})), CLOSEUNSUPPORTED);
    EXPECT_EQ(closecode(bytes({0, 1, 2})), CLOSEUNSUPPORTED);
}

TEST(ClientMessages, OverAKilobyteCloses1009)
{
    EXPECT_EQ(closecode("\x02" + std::string(1023, 'a')), CLOSEINVALID); // a too long name, in size
    EXPECT_EQ(closecode("\x02" + std::string(1024, 'a')), CLOSETOOBIG);
    EXPECT_EQ(closecode(std::string(5000, '\x04')), CLOSETOOBIG);
}

TEST(ClientMessages, WrongLengthsAndValuesOutOfRangeClose1007)
{
    EXPECT_EQ(closecode(""), CLOSEINVALID);
    EXPECT_EQ(closecode(bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1})), CLOSEINVALID);       // VIEW short
    EXPECT_EQ(closecode(bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0})), CLOSEINVALID); // VIEW long
    EXPECT_EQ(closecode(bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0})), CLOSEINVALID);    // w 0
    EXPECT_EQ(closecode(bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0})), CLOSEINVALID);    // h 0
    EXPECT_EQ(closecode(bytes({2})), CLOSEINVALID);                                        // no name
    EXPECT_EQ(closecode("\x02" + std::string(30, 'n')), CLOSEINVALID);                    // 30 bytes
    EXPECT_EQ(closecode("\x02" "a\x1f" "b"), CLOSEINVALID);                               // control byte
    EXPECT_EQ(closecode(std::string("\x02" "a\0", 3)), CLOSEINVALID);                      // empty key
    EXPECT_EQ(closecode(std::string("\x02" "\0k", 3)), CLOSEINVALID);                      // empty name
    EXPECT_EQ(closecode(std::string("\x02" "a\0", 3) + std::string(65, 'k')), CLOSEINVALID); // 65-byte key
    EXPECT_EQ(closecode(std::string("\x02" "a\0k\0", 5)), CLOSEINVALID);                  // a second NUL
    EXPECT_EQ(closecode(bytes({3, 0, 0})), CLOSEINVALID);                                  // no step
    EXPECT_EQ(closecode(bytes({3, 2, 0})), CLOSEINVALID);
    EXPECT_EQ(closecode(bytes({3, 0, 0xfe})), CLOSEINVALID);
    EXPECT_EQ(closecode(bytes({3, 1})), CLOSEINVALID);
    EXPECT_EQ(closecode(bytes({4, 0})), CLOSEINVALID);
    EXPECT_EQ(closecode(bytes({5})), CLOSEINVALID);                                        // no token
    EXPECT_EQ(closecode("\x05" + std::string(65, 'f')), CLOSEINVALID);                   // 65 bytes
    EXPECT_EQ(closecode("\x05" "ab\x0a"), CLOSEINVALID);                                // control byte
}
