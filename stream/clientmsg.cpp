// Reading what pages send.
#include "clientmsg.h"

#include "bytes.h"
#include "protocol.h"

// The answer that closes the connection with `code`.
static CLIENTMSG closewith(int code)
{
    CLIENTMSG m;
    m.action = DOCLOSE;
    m.closecode = code;
    return m;
}

// The text after the type byte: 1 to `most` bytes, none below 32.
static bool readtext(const void *data, size_t len, size_t most, std::string &out)
{
    if (len < 2 || len > 1 + most)
        return false;
    for (size_t i = 1; i < len; i++)
        if (((const unsigned char *)data)[i] < 32)
            return false;
    out.assign((const char *)data + 1, len - 1);
    return true;
}

CLIENTMSG parseclient(const void *data, size_t len, bool text)
{
    if (text)
        return closewith(CLOSEUNSUPPORTED);
    if (len > CLIENTMSGMAX)
        return closewith(CLOSETOOBIG);
    if (len == 0)
        return closewith(CLOSEINVALID);
    READER in(data, len);
    const unsigned type = in.u8();
    CLIENTMSG m;
    switch (type) {
    case 1: // VIEW: i32 x, i32 y, u16 w, u16 h
        if (len != 13)
            return closewith(CLOSEINVALID);
        m.view.x0 = in.i32();
        m.view.y0 = in.i32();
        m.view.w = in.u16();
        m.view.h = in.u16();
        if (m.view.w == 0 || m.view.h == 0)
            return closewith(CLOSEINVALID);
        m.action = DOVIEW;
        return m;
    case 2: { // JOIN: the name, then optionally u8 0 and the player key
        const unsigned char *bytes = (const unsigned char *)data;
        size_t namelen = len;
        for (size_t i = 1; i < len; i++)
            if (bytes[i] == 0) {
                namelen = i;
                break;
            }
        if (!readtext(data, namelen, NAMEMAX, m.name))
            return closewith(CLOSEINVALID);
        if (namelen < len && !readtext(bytes + namelen, len - namelen, PLAYERKEYMAX, m.key))
            return closewith(CLOSEINVALID);
        m.action = DOJOIN;
        return m;
    }
    case 3: // MOVE: i8 dx, i8 dy
        if (len != 3)
            return closewith(CLOSEINVALID);
        m.dx = (int8_t)in.u8();
        m.dy = (int8_t)in.u8();
        if (m.dx < -1 || m.dx > 1 || m.dy < -1 || m.dy > 1 || (m.dx == 0 && m.dy == 0))
            return closewith(CLOSEINVALID);
        m.action = DOMOVE;
        return m;
    case 4: // FIRE
        if (len != 1)
            return closewith(CLOSEINVALID);
        m.action = DOFIRE;
        return m;
    case 5: // RESUME: the token
        if (!readtext(data, len, RESUMETOKENMAX, m.token))
            return closewith(CLOSEINVALID);
        m.action = DORESUME;
        return m;
    default:
        return closewith(CLOSEUNSUPPORTED);
    }
}
