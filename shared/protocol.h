// The game's protocol and rules as the server, the client library and the
// tools share them: the port, the command words, the record types and the
// numbers of the game. Each is written here once.
#pragma once

// TCP port of the command protocol, and of the web endpoint (the page, its
// live stream, /healthz and /metrics) unless the command line moves it.
enum { PORTNUM = 3140, WEBPORT = 3141 };

// Command words, terminator included. A command is its word alone: the
// server compares the whole text read up to and including the terminator.
inline constexpr char strterm[] = ";";
inline constexpr char strversion[] = "version;";
inline constexpr char strprotocolversion[] = "protocolversion;";
inline constexpr char strclose[] = "close;";
inline constexpr char strgetmapinfo[] = "getmapinfo;";
inline constexpr char strgetmap[] = "getmap;";
inline constexpr char strgetallmap[] = "getallmap;";
inline constexpr char strgetplayerinfo[] = "getplayerinfo;";
inline constexpr char strsetplayerinfo[] = "setplayerinfo;";
inline constexpr char strlogin[] = "login;";
inline constexpr char strsetfire[] = "setfire;";

// A command and its terminator fit in this many bytes; a longer run of
// bytes without a terminator ends the connection.
enum { CMDMAX = 1023 };

// What a record's trailer says it is.
enum {
    NET_RECORD = 1, // one data record of a multi-record reply
    NET_END = 2,    // closing record; lone trailer ending login/setplayerinfo
    NET_READY = 3,  // lone trailer: the client may send its PLAYERINFO now
};

// Calories one fire puts into the cell its player stands on.
inline constexpr long double FIREHEAT = 100.0L;

// A player on a cell hotter than HURTKELVINS whole kelvins loses one point
// of health per DAMAGESTEP kelvins above it; the players tagged in the
// cell's first CREDITSLOTS attribution slots share the damage as score.
enum { HURTKELVINS = 383, DAMAGESTEP = 10, CREDITSLOTS = 5 };

// Health of a new player; a player at 0 or less is dead.
enum { STARTHEALTH = 100 };

// Longest player name: the 30-byte field keeps room for its NUL.
enum { NAMEMAX = 29 };
