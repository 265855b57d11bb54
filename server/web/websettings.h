// The web endpoint's limits and timeouts, with their defaults, given to
// startweb by whoever starts it (the server from its options: the `web`
// of SETTINGS, server/app/options.h) and kept in its WEBGAME, read by the
// io thread only.
#pragma once

#include <string>
#include <vector>

struct WEBSETTINGS {
    std::vector<std::string> origins; // pages of other sites that may open the stream
    int joinsperconnection = 6;       // web JOINs a minute, per connection
    int joinsperaddress = 20;         // web JOINs a minute, per address
    int peraddress = 32;              // web connections at once, per address
    int connections = 2048;           // web connections at once, in all
    int websockets = 1024;            // WebSocket clients at once
    int fdreserve = 48;               // descriptors the web leaves to port 3140
    int idletimeout = 30;             // seconds an HTTP connection may idle
    int stalltimeout = 30;            // seconds an answer may wait for a reader
};
