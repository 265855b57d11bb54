// The web stream's C++ client.
#include "decoder.h"

#include <cstring>

#include "bytes.h"
#include "messages.h"

// Three bytes r, g, b.
static RGB getrgb(READER &in)
{
    RGB c;
    c.r = (uint8_t)in.u8();
    c.g = (uint8_t)in.u8();
    c.b = (uint8_t)in.u8();
    return c;
}

// HELLO after its type: the map, materials and ramp; no tile held.
static std::string applyhello(STREAMCLIENT &c, READER &in)
{
    c.version = in.u8();
    if (c.version != STREAMVERSION)
        return "unknown version";
    if (in.u16() != TILESIZE)
        return "unknown tile size";
    const uint32_t sx = in.u32(), sy = in.u32();
    c.grid = tiling(sx, sy);
    c.tick = in.u32();
    c.coldlimit = (int)in.u16();
    c.hurt = (int)in.u16();
    c.ash = getrgb(in);
    c.mapname = in.str8();
    const uint32_t nmat = in.u32();
    if (nmat > 65536 || nmat * 14ull > in.left())
        return "material table too long";
    c.materials.assign(nmat, CLIENTMATERIAL{});
    for (CLIENTMATERIAL &m : c.materials) {
        m.colour = getrgb(in);
        m.block = in.u8() & 1;
        m.ignitionpoint = in.i32();
        const uint32_t f = in.u32();
        std::memcpy(&m.fuel, &f, 4);
        m.name = in.str8();
    }
    c.rampfirst = (int)in.u16();
    const uint32_t nramp = in.u16();
    c.ramp.clear();
    for (uint32_t i = 0; i < nramp && !in.bad; i++)
        c.ramp.push_back(getrgb(in));
    if (in.bad || in.left())
        return "HELLO of the wrong length";
    const size_t n = (size_t)c.grid.sizex * (size_t)c.grid.sizey;
    c.cells.sizex = c.grid.sizex;
    c.cells.sizey = c.grid.sizey;
    c.cells.material.assign(n, 0);
    c.cells.kelvins.assign(n, 0);
    c.cells.state.assign(n, 0);
    c.held.assign((size_t)ntiles(c.grid), 0);
    c.hello = true;
    return "";
}

// TILES after its type: forgets the tiles outside its view, applies its
// tiles, and checks that every tile of the view is then held.
static std::string applytiles(STREAMCLIENT &c, READER &in)
{
    if (!c.hello)
        return "TILES before HELLO";
    c.keyframe = in.u8() == 1;
    c.tick = in.u32();
    CELLRECT v;
    v.x0 = in.i32();
    v.y0 = in.i32();
    v.w = in.u16();
    v.h = in.u16();
    const uint32_t count = in.var();
    if (in.bad || count > ntiles(c.grid))
        return "TILES header cut short or too many tiles";
    std::vector<uint32_t> index(count);
    uint64_t next = 0;
    for (uint32_t k = 0; k < count; k++) {
        next += in.var();
        if (next >= (uint64_t)ntiles(c.grid) || !tilemeets(c.grid, (long)next, v))
            return "tile outside the view";
        index[k] = (uint32_t)next++;
    }
    // Tiles that left the view are forgotten.
    for (long t = 0; t < ntiles(c.grid); t++)
        if (c.held[(size_t)t] && !tilemeets(c.grid, t, v))
            c.held[(size_t)t] = 0;
    for (uint32_t i : index) {
        const unsigned kind = in.u8();
        const uint32_t len = in.var();
        const unsigned char *data = in.bytes(len);
        if (in.bad)
            return "tile cut short";
        if (kind != TILEWHOLE && !c.held[i])
            return "a change for a tile not held";
        if (c.keyframe && kind != TILEWHOLE)
            return "a change in a key frame";
        std::string err = decodetile(c.inflater, kind, data, len, tilecells(c.grid, i), c.cells);
        if (!err.empty())
            return err;
        c.held[i] = 1;
    }
    if (in.left())
        return "bytes after the last tile";
    c.view = v;
    for (uint32_t t : tilesof(c.grid, v))
        if (!c.held[t])
            return "a tile of the view is missing";
    return "";
}

// PLAYERS after its type: the present players replace the list.
static std::string applyplayers(STREAMCLIENT &c, READER &in)
{
    in.u32(); // tick
    c.everplayers = in.u32();
    const uint32_t count = in.u32();
    if (count > c.everplayers || count * 22ull > in.left())
        return "player list too long";
    c.players.clear();
    for (uint32_t k = 0; k < count; k++) {
        CLIENTPLAYER p;
        p.num = (int32_t)in.u32();
        p.x = in.i32();
        p.y = in.i32();
        p.health = in.i32();
        p.score = in.i32();
        p.web = in.u8() & 1;
        p.name = in.str8();
        c.players.push_back(p);
    }
    return in.bad || in.left() ? "PLAYERS of the wrong length" : "";
}

std::string applymessage(STREAMCLIENT &c, const void *data, size_t len)
{
    READER in(data, len);
    switch (in.u8()) {
    case MSGHELLO:
        return applyhello(c, in);
    case MSGTILES:
        return applytiles(c, in);
    case MSGPLAYERS:
        return applyplayers(c, in);
    case MSGYOU:
        c.you = in.i32();
        c.token = in.str8();
        c.reason = in.str8();
        c.answered = true;
        return in.bad || in.left() ? "YOU of the wrong length" : "";
    case MSGROUND: {
        c.round.number = in.u32();
        c.round.phase = in.u8();
        c.round.left = in.u32();
        c.round.why = in.u8();
        c.round.top.assign(in.u8(), CLIENTPLAYER());
        for (CLIENTPLAYER &p : c.round.top) {
            p.num = (int32_t)in.u32();
            p.score = in.i32();
            p.health = in.u8() ? 0 : 1;
            p.name = in.str8();
        }
        c.rounds++;
        return in.bad || in.left() ? "ROUND of the wrong length" : "";
    }
    default:
        return "unknown message";
    }
}

bool clientcell(const STREAMCLIENT &c, long x, long y, DRAWNCELL &out)
{
    if (x < 0 || y < 0 || x >= c.grid.sizex || y >= c.grid.sizey)
        return false;
    if (!c.held[(size_t)(x / TILESIZE * c.grid.tilesy + y / TILESIZE)])
        return false;
    const size_t i = (size_t)x * (size_t)c.grid.sizey + (size_t)y;
    out = DRAWNCELL{c.cells.material[i], c.cells.kelvins[i], c.cells.state[i]};
    return true;
}

RGB streamcolour(const STREAMCLIENT &c, const DRAWNCELL &cell, long x, long y, unsigned frame)
{
    if (cell.state == CELLBURNING) {
        const unsigned phase = frame + (unsigned)((size_t)x * (size_t)c.grid.sizey + (size_t)y) * 7919u;
        unsigned h = phase * 2654435761u;
        h ^= h >> 15;
        return RGB{255, (uint8_t)(150 + h % 90), (uint8_t)(20 + (h >> 8) % 40)};
    }
    RGB base = cell.state == CELLBURNT ? c.ash
               : cell.material < c.materials.size() ? c.materials[cell.material].colour
                                                     : RGB{0, 0, 0};
    if (!(cell.kelvins >= c.coldlimit) || c.ramp.empty())
        return base;
    long k = (long)cell.kelvins - c.rampfirst;
    k = k < 0 ? 0 : k >= (long)c.ramp.size() ? (long)c.ramp.size() - 1 : k;
    return mix(base, c.ramp[(size_t)k], ((double)cell.kelvins - c.coldlimit) / 40.0 + 0.35);
}
