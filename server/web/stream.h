// The live stream of the web endpoint: the stream thread, which follows
// the published world tick by tick, and the hub in the web's io thread,
// which encodes each tick once and hands every WebSocket client what its
// view needs.
//
// Per tick the stream thread runs the exposure step of every web player,
// then, when the io thread has taken the tick before, takes oldmap_lock
// just long enough to copy the drawn values of the world, reads the player
// list, and posts both to the io thread. There the hub finds the tiles
// that changed, and each client that is not busy sending gets its frame;
// a client still sending gets the newest state once it is done.
#pragma once

#include <boost/asio/io_context.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "streamcodec.h"
#include "messages.h"

struct WEBSESSION;

// What one client was sent of the map, and what it views.
struct CLIENTSTREAM {
    bool viewset = false; // no tiles before the client says what it views
    CELLRECT view;
    LASTFRAME last;
};
// The client views `view` from now on (its next frame brings it).
void setview(CLIENTSTREAM &c, const CELLRECT &view);

// Web players, by number (guarded by web_lock in stream.cpp).
void addwebplayer(int num);
void removewebplayer(int num);

// Starts the stream thread, which posts each tick to `ioc`, and takes
// what HELLO tells of the map. Called once, after the world is loaded.
void startstream(boost::asio::io_context &ioc);
// Tells the stream thread that a tick was published (the tick observer).
void notestreamtick();

// The io thread's side. Sessions register when their WebSocket is open
// and leave when it ends; the hub then calls webdeliver() on each.
void registersession(const std::shared_ptr<WEBSESSION> &s);
void unregistersession(WEBSESSION *s);
// Open WebSocket sessions.
int websessions();
// The HELLO message as of the codec's current tick (made again when the
// tick moved on since it was last made).
std::shared_ptr<const std::string> hellomessage();
// The newest PLAYERS message (null before the first tick) and its number.
std::shared_ptr<const std::string> playersmessage(uint64_t *version);
// The client's next TILES message for the newest tick, when it needs one
// (its view changed, or a tick it has not seen was published): the parts
// of one binary message, header first, the tiles shared with other
// clients. False when the client is up to date. Counts a frame sent, and
// the ticks skipped when the client was behind.
bool nextframe(CLIENTSTREAM &c, std::vector<std::shared_ptr<const std::string>> &parts);
