// A client of the web endpoint for the tests: plain HTTP requests, raw
// bytes, and a WebSocket client of the live stream with time limits, all
// on 127.0.0.1 (Boost.Beast, synchronous).
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/websocket.hpp>

#include <map>
#include <string>
#include <vector>

// True when some socket listens on TCP port `port` (from /proc/net/tcp and tcp6).
bool listening(int port);
// Waits up to timeoutms for `port` to listen.
bool awaitlistening(int port, int timeoutms);

struct HTTPRESULT {
    int status = 0;                           // 0 when the exchange failed
    std::map<std::string, std::string> header; // field names in lower case
    std::string body;
};
// One request (GET, HEAD, POST, ...) on a connection of its own.
HTTPRESULT httprequest(int port, const std::string &method, const std::string &target);
// Sends raw bytes and returns all that comes back until the server closes
// the connection or timeoutms pass.
std::string httpraw(int port, const std::string &bytes, int timeoutms);

// A WebSocket client of /stream. Every wait is limited to timeoutms.
struct WSCLIENT {
    boost::asio::io_context ioc;
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws{ioc};
    int timeoutms = 5000;
    int rcvbuf = 0;      // when set before wsconnect: the socket's receive buffer, bytes
    std::string source;  // when set before wsconnect: the local address to connect from
    std::string origin;  // when set before wsconnect: the upgrade's Origin field
    std::string error;   // what the last failure was
    bool closed = false; // the server closed the WebSocket (ws.reason() has its code)
};
// Connects and upgrades; false (with c.error) when refused. When the
// upgrade is refused, *status (when given) gets the HTTP status.
bool wsconnect(WSCLIENT &c, int port, int *status = nullptr);
// Sends one binary message.
bool wssend(WSCLIENT &c, const std::vector<unsigned char> &msg);
bool wssendtext(WSCLIENT &c, const std::string &text);
// Reads one message; false on a time-out, a close (c.closecode set) or an
// error.
bool wsread(WSCLIENT &c, std::vector<unsigned char> &msg);
// Reads until the server closes; the close code, or -1 when it did not
// close within the time limit.
int wsclosecode(WSCLIENT &c);
