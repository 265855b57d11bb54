// The web endpoint's HTTP side: one session per TCP connection, which
// answers the page's files, /healthz and /metrics, and hands a WebSocket
// upgrade at /stream to a WEBSESSION.
#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <string>

#include "game/game.h"

struct WEBGAME;

// Serves one accepted connection (in the web's io thread), once the web's
// limits admit it (server/web/admission.h); past --max-websockets WebSocket
// clients an upgrade is refused with 503.
void servehttp(WEBGAME &web, boost::asio::ip::tcp::socket &&socket);

// The status, content type and body of a GET of `target` for game g (the
// path and query of a request line), as the endpoint answers it, given the
// request's Accept-Encoding, If-None-Match and Host fields. For tests.
struct WEBREPLY {
    int status;
    std::string type;
    std::string body;
    std::string etag = "";  // the page's files: the body's ETag, quoted; else empty
    bool gzip = false;      // the body is gzip-compressed
};
WEBREPLY webget(GAME &g, const std::string &target, const std::string &acceptencoding = "",
                const std::string &ifnonematch = "", const std::string &host = "");
