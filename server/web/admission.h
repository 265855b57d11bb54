// Room for every client of the web port: connections are capped per
// address (IPv4 address, IPv6 /64) and in all, descriptors are kept back
// for port 3140, and JOINs are rate-limited per connection and per
// address. The tables live in the web's io thread alone (no lock); the
// numbers come from the options (server/options.h).
#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <memory>

struct ADMISSION;

// Admits a connection just accepted on the web port (io thread). Returns
// its ticket, which holds the connection's place in the counts while it
// lives and its JOIN limits; or null when it is refused, after answering
// it 429 (its address is over its cap) or 503 (the port is full, or the
// process is near its descriptor limit) and closing it. Counted in
// /metrics either way.
std::shared_ptr<ADMISSION> admitweb(boost::asio::ip::tcp::socket &socket);

// A JOIN on the connection of `ticket`: true when its connection and its
// address are within their rates, else false (counted in /metrics).
bool mayjoin(ADMISSION &ticket);

// Web connections (HTTP and WebSocket) now admitted, in all.
int webconnections();
