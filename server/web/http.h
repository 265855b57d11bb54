// The web endpoint's HTTP side: one session per TCP connection, which
// answers the page's files, /healthz and /metrics, and hands a WebSocket
// upgrade at /stream to a WEBSESSION.
#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <string>

// Serves one accepted connection (in the web's io thread), once the web's
// limits admit it (server/web/admission.h); past --max-websockets WebSocket
// clients an upgrade is refused with 503.
void servehttp(boost::asio::ip::tcp::socket &&socket);

// The status, content type and body of a GET of `target` (the path and
// query of a request line), as the endpoint answers it. For tests.
struct WEBREPLY {
    int status;
    std::string type;
    std::string body;
};
WEBREPLY webget(const std::string &target);
