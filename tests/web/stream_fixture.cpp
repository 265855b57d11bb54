// Writes a recorded stream for the page's decoder (tests/web/
// decoder_test.mjs) to standard output: the messages two clients are sent
// on a random burning world, each followed by what the client must then
// hold, cell by cell with its colour, and the players and number it knows.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

// Records: 'M' u8 client, u32 length, the message;
//          'E' u8 client, u32 frame, i32 x0, y0, w, h (the view on the
//              map), per cell (x outer, y inner) u16 material, i32
//              kelvins, u8 state, u8 r, g, b;
//          'P' u8 client, u32 players ever, u32 count, per player i32
//              num, x, y, health, score, u8 web, str8 name;
//          'Y' u8 client, i32 number;
//          'H' u8 client, u32 tiles, per tile u8 1 when held (after a
//              frame: exactly the tiles that meet the view).

#include "bytes.h"
#include "engine/publish.h"
#include "streamworld.h"
#include "streamtesting.h"

namespace {

std::string out;

void message(int client, const std::string &m, TESTCLIENT &c)
{
    putu8(out, 'M');
    putu8(out, (unsigned)client);
    putu32(out, (uint32_t)m.size());
    out += m;
    const std::string err = applymessage(c.decoder, m.data(), m.size());
    if (!err.empty()) {
        std::fprintf(stderr, "stream_fixture: the C++ decoder refused a message: %s\n", err.c_str());
        std::exit(1);
    }
}

void expect(int client, const TESTCLIENT &c, unsigned frame)
{
    const CELLRECT v = cliptomap(c.decoder.grid, c.view);
    putu8(out, 'E');
    putu8(out, (unsigned)client);
    putu32(out, frame);
    puti32(out, (int32_t)v.x0);
    puti32(out, (int32_t)v.y0);
    puti32(out, (int32_t)v.w);
    puti32(out, (int32_t)v.h);
    for (long x = v.x0; x < v.x0 + v.w; x++)
        for (long y = v.y0; y < v.y0 + v.h; y++) {
            DRAWNCELL cell{};
            clientcell(c.decoder, x, y, cell);
            const RGB col = streamcolour(c.decoder, cell, x, y, frame);
            putu16(out, cell.material);
            puti32(out, cell.kelvins);
            putu8(out, cell.state);
            putu8(out, col.r);
            putu8(out, col.g);
            putu8(out, col.b);
        }
    putu8(out, 'H');
    putu8(out, (unsigned)client);
    putu32(out, (uint32_t)c.decoder.held.size());
    for (uint8_t h : c.decoder.held)
        putu8(out, h);
}

void expectplayers(int client, const TESTCLIENT &c)
{
    putu8(out, 'P');
    putu8(out, (unsigned)client);
    putu32(out, c.decoder.everplayers);
    putu32(out, (uint32_t)c.decoder.players.size());
    for (const CLIENTPLAYER &p : c.decoder.players) {
        puti32(out, p.num);
        puti32(out, p.x);
        puti32(out, p.y);
        puti32(out, p.health);
        puti32(out, p.score);
        putu8(out, p.web);
        putstr8(out, p.name);
    }
}

std::vector<STREAMPLAYER> players(int tick)
{
    const char *names[] = {"alice", "bob", "\xc3\xa9lise <b>", "dave"};
    std::vector<STREAMPLAYER> list;
    for (int i = 0; i < 4; i++) {
        STREAMPLAYER p{};
        p.info.num = i == 1 && tick > 20 ? -1 : i;
        std::snprintf(p.info.name, sizeof p.info.name, "%s", names[i]);
        p.info.x = i * 3 + tick % 5;
        p.info.y = i;
        p.info.health = 100 - tick / 4;
        p.info.score = i * tick;
        p.web = i % 2 == 0;
        list.push_back(p);
    }
    return list;
}

} // namespace

int main()
{
    std::mt19937_64 rng(77);
    WORLD w;
    TICKSTATE tick;
    streamworld(rng, w, 45, 37);
    STREAMCODEC codec;
    publish(w, codec);
    TESTCLIENT clients[2];
    clients[0].view = {0, 0, 45, 37};
    clients[1].view = {-3, 5, 20, 17};
    for (int k = 0; k < 2; k++) {
        message(k, hellofor(w, codec.tick), clients[k]);
        message(k, encodeplayers(codec.tick, players(0)), clients[k]);
        expectplayers(k, clients[k]);
    }
    message(1, encodeyou(2, "0123456789abcdef0123456789abcdef"), clients[1]);
    putu8(out, 'Y');
    putu8(out, 1);
    puti32(out, 2);
    putstr8(out, "0123456789abcdef0123456789abcdef");
    for (int t = 0; t < 80; t++) {
        for (int k = 0; k < 2; k++) {
            TESTCLIENT &c = clients[k];
            if (k == 1 && t % 9 == 4)
                c.view = {(long)(rng() % 50) - 5, (long)(rng() % 40) - 5, 1 + (long)(rng() % 30), 1 + (long)(rng() % 30)};
            if (k == 1 && t % 7 == 3)
                continue; // it falls behind
            const FRAME f = buildframe(codec, c.view, c.last);
            c.last = sentframe(f);
            message(k, framebytes(f), c);
            expect(k, c, (unsigned)t);
            if (t % 10 == 5) {
                message(k, encodeplayers(codec.tick, players(t)), c);
                expectplayers(k, c);
            }
        }
        stirworld(rng, w);
        dophys(w, tick);
        publish(w, codec);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
