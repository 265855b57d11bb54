// HELLO, PLAYERS, YOU and ROUND.
#include "messages.h"

#include <cstring>

#include "bytes.h"
#include "colours.h"
#include "tiles.h"

// A colour as three bytes r, g, b.
static void putrgb(std::string &o, RGB c)
{
    putu8(o, c.r);
    putu8(o, c.g);
    putu8(o, c.b);
}

// An IEEE single, little-endian.
static void putf32(std::string &o, float f)
{
    uint32_t b;
    std::memcpy(&b, &f, 4);
    putu32(o, b);
}

std::string encodehello(const HELLOINFO &h)
{
    std::string o;
    putu8(o, MSGHELLO);
    putu8(o, STREAMVERSION);
    putu16(o, TILESIZE);
    putu32(o, h.sizex);
    putu32(o, h.sizey);
    putu32(o, h.tick);
    putu16(o, (unsigned)COLDLIMIT);
    putu16(o, HURTKELVINS);
    putrgb(o, ASHCOLOUR);
    putstr8(o, h.mapname);
    putu32(o, (uint32_t)h.materials.size());
    for (const HELLOMATERIAL &m : h.materials) {
        putrgb(o, m.colour);
        putu8(o, m.block ? 1 : 0);
        puti32(o, m.ignitionpoint);
        putf32(o, m.fuel);
        putstr8(o, m.name);
    }
    putu16(o, RAMPFIRST);
    putu16(o, RAMPLAST - RAMPFIRST + 1);
    for (int k = RAMPFIRST; k <= RAMPLAST; k++)
        putrgb(o, heatramp(k));
    return o;
}

std::string encodeplayers(uint32_t tick, const std::vector<STREAMPLAYER> &players)
{
    std::string o;
    uint32_t present = 0;
    for (const STREAMPLAYER &p : players)
        present += p.info.num >= 0;
    putu8(o, MSGPLAYERS);
    putu32(o, tick);
    putu32(o, (uint32_t)players.size());
    putu32(o, present);
    for (const STREAMPLAYER &p : players) {
        const PLAYERINFO &i = p.info;
        if (i.num < 0)
            continue;
        putu32(o, (uint32_t)i.num);
        puti32(o, i.x);
        puti32(o, i.y);
        puti32(o, i.health);
        puti32(o, i.score);
        putu8(o, p.web ? 1 : 0);
        putstr8(o, std::string(i.name, strnlen(i.name, sizeof i.name)));
    }
    return o;
}

std::string encodeyou(int32_t num, const std::string &token, const std::string &reason)
{
    std::string o;
    putu8(o, MSGYOU);
    puti32(o, num);
    putstr8(o, num < 0 ? std::string() : token);
    putstr8(o, num < 0 ? reason : std::string());
    return o;
}

std::string encoderound(uint32_t number, uint8_t phase, uint32_t leftms, uint8_t why,
                        const std::vector<ROUNDWINNER> &top)
{
    std::string o;
    const size_t count = top.size() < 255 ? top.size() : 255;
    putu8(o, MSGROUND);
    putu32(o, number);
    putu8(o, phase);
    putu32(o, leftms);
    putu8(o, why);
    putu8(o, (unsigned)count);
    for (size_t i = 0; i < count; i++) {
        putu32(o, top[i].num);
        puti32(o, top[i].score);
        putu8(o, top[i].died ? 1 : 0);
        putstr8(o, top[i].name);
    }
    return o;
}
