// Room for every client of the web port: connections are capped per
// address (IPv4 address, IPv6 /64) and in all, descriptors are kept back
// for port 3140, and JOINs are rate-limited per connection and per
// address. Each web endpoint keeps its tables (ADMISSIONS, in its
// WEBGAME), in its io thread alone (no lock); the numbers come from its
// WEBSETTINGS.
#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <memory>
#include <string>
#include <unordered_map>

#include "game/game.h"
#include "web/metrics.h"
#include "web/websettings.h"

struct ADMISSION;

// One client address: its connections now and its JOIN bucket.
struct ADDRESS {
    int connections = 0;
    TOKENBUCKET joins;
};

// The web port's room, the io thread's alone.
struct ADMISSIONS {
    const WEBSETTINGS *settings = nullptr; // its endpoint's (WEBGAME)
    WEBMETRICS *metrics = nullptr;         // its endpoint's (WEBGAME)
    std::unordered_map<std::string, ADDRESS> addresses; // by address key
    int admitted = 0;  // connections admitted and still open
    int lingering = 0; // refused connections still draining
};

// Admits a connection just accepted on the web port (io thread). Returns
// its ticket, which holds the connection's place in the counts while it
// lives and its JOIN limits; or null when it is refused, after answering
// it 429 (its address is over its cap) or 503 (the port is full, or the
// process is near its descriptor limit) and closing it. Counted in
// /metrics either way.
std::shared_ptr<ADMISSION> admitweb(ADMISSIONS &room, boost::asio::ip::tcp::socket &socket);

// A JOIN on the connection of `ticket`: true when its connection and its
// address are within their rates, else false (counted in /metrics).
bool mayjoin(ADMISSION &ticket);

// A bucket of `perminute` JOINs: that many at once, refilled over a minute.
TOKENBUCKET joinbucket(int perminute);
// The key an address is counted under: an IPv4 address (also when mapped
// into IPv6, as the dual-stack web port sees IPv4 clients), or the /64 of
// an IPv6 address.
std::string addresskey(const boost::asio::ip::tcp::endpoint &e);

// Web connections (HTTP and WebSocket) now admitted, in all.
int webconnections(const ADMISSIONS &room);
