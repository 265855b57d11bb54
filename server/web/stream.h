// The live stream of the web endpoint: the stream thread, which follows
// the published world tick by tick, and the hub in the web's io thread,
// which encodes each tick once and hands every WebSocket client what its
// view needs. Each game served has its own hub and stream thread.
//
// Per tick the stream thread, when the io thread has taken the tick
// before, takes oldmap_lock and draws the published world into the codec's
// next buffer (the whole map, under the lock: 4.7 ms on 1024 x 1024), then
// copies the player list under playerlist_lock, reads the round (under
// round_lock, with rounds on), and posts the tick to the io thread. There the hub finds the tiles that changed, and each client
// that is not busy sending gets its frame; a client still sending gets the
// newest state once it is done. The exposure step of web players is the
// game's own (tickgame), not the stream's.
#pragma once

#include <boost/asio/io_context.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/game.h"
#include "web/metrics.h"
#include "web/websettings.h"
#include "messages.h"
#include "streamcodec.h"

// A subscriber of the hub (a page's session): told when something new is
// there to send.
struct SUBSCRIBER {
    virtual ~SUBSCRIBER() = default;
    virtual void deliver() = 0;
};

// A game's hub. The io thread's own, but for the two atomics the stream
// thread shares with it (`helloinfo` is made before the threads start).
struct HUB {
    GAME *game = nullptr;
    const WEBSETTINGS *settings = nullptr; // its endpoint's (WEBGAME)
    WEBMETRICS *metrics = nullptr;         // its endpoint's (WEBGAME)
    boost::asio::io_context *ioc = nullptr;
    STREAMCODEC codec;
    std::vector<std::weak_ptr<SUBSCRIBER>> sessions;
    HELLOINFO helloinfo;                        // the map's, made at start
    std::shared_ptr<const std::string> hello;   // HELLO as of helloinfo.tick
    std::shared_ptr<const std::string> players; // the newest PLAYERS message
    std::vector<STREAMPLAYER> playerlist;       // what it says
    uint64_t playersversion = 0;
    ROUNDVIEW round;                            // the round as of roundtaken (rounds on)
    double roundtaken = 0;                      // steady seconds
    uint64_t roundversion = 0;                  // raised when the round changed, 0: none yet
    std::atomic<uint64_t> ticksseen{0}; // ticks the tick observer told of
    // Set by the io thread once it published the last drawing: the stream
    // thread may draw into the codec's next buffer (release/acquire).
    std::atomic<bool> drawable{true};
};

// What one client was sent of the map, and what it views.
struct SENTMAP {
    bool viewset = false; // no tiles before the client says what it views
    CELLRECT view;
    LASTFRAME last;
};
// The client views `view` from now on (its next frame brings it).
void setview(SENTMAP &c, const CELLRECT &view);

// Starts the stream thread of game g, which posts each tick to `ioc`, and
// readies the HELLO message. Called once, after the world is loaded.
void startstream(HUB &hub, GAME &g, boost::asio::io_context &ioc);
// Tells the stream thread that a tick was published (the tick observer).
void notestreamtick(HUB &hub);

// The io thread's side. Sessions register when their WebSocket is open
// and leave when it ends; the hub then calls deliver() on each.
void registersession(HUB &hub, const std::shared_ptr<SUBSCRIBER> &s);
void unregistersession(HUB &hub, SUBSCRIBER *s);
// Open WebSocket sessions.
int websessions(const HUB &hub);
// The HELLO message as of the published tick.
std::shared_ptr<const std::string> hellomessage(HUB &hub);
// The newest PLAYERS message (null before the first tick) and its number.
std::shared_ptr<const std::string> playersmessage(const HUB &hub, uint64_t *version);
// The ROUND message now (its time left counted down since the round was
// read), null when rounds are off or before the first tick; and the
// number of the round state it tells.
std::shared_ptr<const std::string> roundmessage(const HUB &hub, uint64_t *version);
// The client's next TILES message for the newest tick, when it needs one
// (its view changed, or a tick it has not seen was published): the parts
// of one binary message, header first, the tiles shared with other
// clients. False when the client is up to date. Counts a frame sent, and
// the ticks skipped when the client was behind.
bool nextframe(HUB &hub, SENTMAP &c, std::vector<std::shared_ptr<const std::string>> &parts);
