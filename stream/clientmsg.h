// What pages send over the web stream (VIEW, JOIN, MOVE, FIRE, RESUME), checked
// and turned into what the endpoint must do, or the WebSocket close code
// that ends the connection.
#pragma once

#include <cstddef>
#include <string>

#include "tiles.h"

// WebSocket close codes.
enum {
    CLOSEUNSUPPORTED = 1003, // a text message, an unknown type
    CLOSEINVALID = 1007,     // wrong length, values out of range
    CLOSETOOBIG = 1009,      // longer than CLIENTMSGMAX
};

enum { CLIENTMSGMAX = 1024, RESUMETOKENMAX = 64, PLAYERKEYMAX = 64 };

enum CLIENTACTION {
    DOVIEW,  // show `view`
    DOJOIN,  // join as a new player named `name`
    DOMOVE,  // one step by dx, dy
    DOFIRE,  // a fire on the player's cell
    DORESUME, // play the player whose resume token is `token`
    DOCLOSE, // close the connection with `closecode`
};

struct CLIENTMSG {
    CLIENTACTION action = DOCLOSE;
    int closecode = 0;
    CELLRECT view;    // DOVIEW: w and h 1 to 65,535
    std::string name; // DOJOIN: 1 to NAMEMAX bytes, none below 32
    std::string key;  // DOJOIN: the player key, 1 to PLAYERKEYMAX bytes, none below 32; "" for none
    int dx = 0, dy = 0; // DOMOVE: each -1, 0 or 1, not both 0
    std::string token;  // DORESUME: 1 to RESUMETOKENMAX bytes, none below 32
};

// Reads one WebSocket message from a page (`text` for a text message).
CLIENTMSG parseclient(const void *data, size_t len, bool text);
