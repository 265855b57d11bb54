// The web stream's tiles, tick by tick: the drawn values of the last two
// published ticks, which tiles changed when, and each tile's bytes made
// once, when a client first needs them, and shared by every client. Pure:
// no sockets, threads or locks. Two threads may use one codec in turn: one
// draws into nextdrawing, the other publishes and builds frames; the
// caller orders them (the drawing is handed over before it is published).
#pragma once

// As the web endpoint uses it:
//
//     drawing thread: draw the world into nextdrawing(codec), hand it over;
//     io thread:      publishtick(codec);   (publishquiet(codec) if the world
//                                            did not change)
//                     for each client: FRAME f = buildframe(codec, client.view, client.last);
//                       if f.key or f.tiles: send f.header then f.tiles as one message;
//                                            client.last = sentframe(f);

#include <memory>
#include <string>
#include <vector>

#include "drawn.h"
#include "tilecode.h"
#include "tiles.h"

typedef std::shared_ptr<const std::string> BLOB;

// What the codec keeps of one tile.
struct TILESTATE {
    uint32_t changed = 0;     // tick of its last change
    uint32_t prevchanged = 0; // tick of the change before that
    BLOB whole;               // its whole bytes as of tick wholetick (or null)
    uint32_t wholetick = 0;
    BLOB change;              // its change at tick `changed` (or null)
};

struct STREAMCODEC {
    TILING grid;
    uint32_t tick = 0;  // the last published tick; 0 before the first
    DRAWN cur, prev;    // the values of tick and of tick - 1
    DRAWN next;         // the buffer nextdrawing hands out
    std::vector<TILESTATE> tiles;
    std::vector<uint32_t> changedtiles; // changed at `tick`, ascending
    DEFLATER deflater;
    // Counters for measurements.
    uint64_t wholemade = 0, changesmade = 0;
};

// The buffer to draw the next tick into (drawworld sizes it).
DRAWN &nextdrawing(STREAMCODEC &c);
// Publishes what was drawn into nextdrawing as tick `tick` (the game's
// count of ticks since its map was loaded; 0 for the one after the last
// published), past the current one: it may skip ticks the stream could not
// keep up with. Finds the tiles whose drawn values changed since the last
// published drawing. A map of another size starts the tiling anew: every
// tile counts as changed (clients need a new HELLO).
void publishtick(STREAMCODEC &c, uint32_t tick = 0);
// Publishes tick `tick` (as above) in which the world did not change (its
// generation stayed): nothing to draw, no tile changed.
void publishquiet(STREAMCODEC &c, uint32_t tick = 0);

// Tile `index`'s bytes, whole, as of the current tick; made on first use.
const BLOB &wholetile(STREAMCODEC &c, uint32_t index);
// Tile `index`'s bytes as a change against the tick before, for a tile
// that changed at the current tick; made on first use.
const BLOB &changetile(STREAMCODEC &c, uint32_t index);

// What a client was last sent: the tick and the view of its last frame.
struct LASTFRAME {
    bool sent = false; // false: nothing yet (a key frame comes)
    uint32_t tick = 0;
    CELLRECT view;
};

// A TILES message: the header (type, key, tick, view, the tiles' indexes)
// and the shared tile bytes that follow it, in order.
struct FRAME {
    std::string header;
    std::vector<BLOB> tiles;
    std::vector<uint32_t> indexes; // of the tiles, ascending
    uint32_t tick = 0;
    bool key = false;
    CELLRECT view;
    size_t bytes() const;
};

// The frame that brings a client holding `last` to the current tick for
// `view`: every tile of the view whole when nothing was sent (a key frame);
// else the tiles of the view it does not hold whole, and of those it holds
// the ones that changed since: as this tick's change when that is their
// only change since its frame, else whole. No tiles when nothing changed.
// A view beyond what the header carries (sizes over 65,535) is cut to it.
FRAME buildframe(STREAMCODEC &c, const CELLRECT &view, const LASTFRAME &last);
// What the client holds once f is sent.
LASTFRAME sentframe(const FRAME &f);
// The frame as one message.
std::string framebytes(const FRAME &f);
