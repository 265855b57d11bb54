// The web endpoint's HTTP side: one session per TCP connection, which
// answers the page's files, /healthz and /metrics, and hands a WebSocket
// upgrade at /stream to a WEBSESSION.
#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <string>

#include "game.h"

struct WEBGAME;

// At most this many WebSocket clients at once; more are refused with 503.
enum { MAXWEBSOCKETS = 1024 };

// Serves one accepted connection (in the web's io thread).
void servehttp(WEBGAME &web, boost::asio::ip::tcp::socket &&socket);

// The status, content type and body of a GET of `target` for game g (the
// path and query of a request line), as the endpoint answers it, given the
// request's Accept-Encoding and If-None-Match fields. For tests.
struct WEBREPLY {
    int status;
    std::string type;
    std::string body;
    std::string etag = "";  // the page's files: the body's ETag, quoted; else empty
    bool gzip = false;      // the body is gzip-compressed
};
WEBREPLY webget(GAME &g, const std::string &target, const std::string &acceptencoding = "",
                const std::string &ifnonematch = "");
