// The web endpoint's limits and timeouts, given to startweb by whoever
// starts it (the server from its options, server/app/options.h, whose
// SETTINGS keep the defaults) and kept in its WEBGAME, read by the io
// thread only.
#pragma once

#include <string>
#include <vector>

struct WEBSETTINGS {
    std::vector<std::string> origins; // pages of other sites that may open the stream
    int joinsperconnection = 0;       // web JOINs a minute, per connection
    int joinsperaddress = 0;          // web JOINs a minute, per address
    int peraddress = 0;               // web connections at once, per address
    int connections = 0;              // web connections at once, in all
    int websockets = 0;               // WebSocket clients at once
    int fdreserve = 0;                // descriptors the web leaves to port 3140
    int idletimeout = 0;              // seconds an HTTP connection may idle
    int stalltimeout = 0;             // seconds an answer may wait for a reader
};
