// The tests' client of the web endpoint.
#include "webclient.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

bool listening(int port)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", port);
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) { // the web port listens on IPv6 where it can
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            char local[64], remote[64], state[8];
            if (std::sscanf(line.c_str(), "%*d: %63s %63s %7s", local, remote, state) != 3)
                continue;
            const char *colon = std::strrchr(local, ':');
            if (colon && std::strcmp(colon + 1, hex) == 0 && std::strcmp(state, "0A") == 0)
                return true;
        }
    }
    return false;
}

bool awaitlistening(int port, int timeoutms)
{
    for (int waited = 0; waited <= timeoutms; waited += 20) {
        if (listening(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Runs ioc until `done` or the time limit; cancels the socket's work on a
// time-out and lets the handlers finish.
static bool rununtil(asio::io_context &ioc, tcp::socket &s, const bool &done, int timeoutms)
{
    ioc.restart();
    ioc.run_for(std::chrono::milliseconds(timeoutms));
    if (done)
        return true;
    beast::error_code ignored;
    s.cancel(ignored);
    ioc.restart();
    ioc.run_for(std::chrono::milliseconds(500));
    return false;
}

static bool connectto(tcp::socket &s, int port)
{
    beast::error_code ec;
    s.connect(tcp::endpoint(asio::ip::address_v4::loopback(), (unsigned short)port), ec);
    return !ec;
}

HTTPRESULT httprequest(int port, const std::string &method, const std::string &target)
{
    HTTPRESULT r;
    asio::io_context ioc;
    tcp::socket s(ioc);
    if (!connectto(s, port))
        return r;
    http::request<http::empty_body> req{http::string_to_verb(method), target, 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    req.keep_alive(false);
    beast::error_code ec;
    http::write(s, req, ec);
    if (ec)
        return r;
    beast::flat_buffer buf;
    http::response_parser<http::string_body> parser;
    parser.skip(method == "HEAD");
    bool done = false;
    http::async_read(s, buf, parser, [&](beast::error_code e, size_t) {
        ec = e;
        done = true;
    });
    if (!rununtil(ioc, s, done, 5000) || ec)
        return r;
    auto res = parser.release();
    r.status = (int)res.result_int();
    for (const auto &f : res) {
        std::string name(f.name_string());
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return (char)std::tolower(c); });
        r.header[name] = std::string(f.value());
    }
    r.body = res.body();
    return r;
}

std::string httpraw(int port, const std::string &bytes, int timeoutms)
{
    asio::io_context ioc;
    tcp::socket s(ioc);
    if (!connectto(s, port))
        return "";
    beast::error_code ec;
    asio::write(s, asio::buffer(bytes), ec);
    std::string got;
    char chunk[4096];
    bool done = false;
    std::function<void()> readmore = [&] {
        s.async_read_some(asio::buffer(chunk), [&](beast::error_code e, size_t n) {
            got.append(chunk, n);
            if (e)
                done = true;
            else
                readmore();
        });
    };
    readmore();
    rununtil(ioc, s, done, timeoutms);
    return got;
}

bool wsconnect(WSCLIENT &c, int port, int *status)
{
    if (c.rcvbuf > 0 || !c.source.empty()) {
        beast::error_code ec;
        c.ws.next_layer().open(tcp::v4(), ec);
        if (c.rcvbuf > 0)
            c.ws.next_layer().set_option(asio::socket_base::receive_buffer_size(c.rcvbuf), ec);
        if (!c.source.empty())
            c.ws.next_layer().bind(tcp::endpoint(asio::ip::make_address(c.source), 0), ec);
    }
    if (!c.origin.empty())
        c.ws.set_option(beast::websocket::stream_base::decorator(
            [origin = c.origin](beast::websocket::request_type &req) { req.set(http::field::origin, origin); }));
    if (!connectto(c.ws.next_layer(), port)) {
        c.error = "connect failed";
        return false;
    }
    beast::websocket::response_type res;
    beast::error_code ec;
    bool done = false;
    c.ws.async_handshake(res, "127.0.0.1:" + std::to_string(port), "/stream", [&](beast::error_code e) {
        ec = e;
        done = true;
    });
    if (!rununtil(c.ioc, c.ws.next_layer(), done, c.timeoutms)) {
        c.error = "handshake timed out";
        return false;
    }
    if (status)
        *status = (int)res.result_int();
    if (ec) {
        c.error = ec.message();
        return false;
    }
    c.ws.binary(true);
    return true;
}

static bool write(WSCLIENT &c, const void *data, size_t len, bool binary)
{
    beast::error_code ec;
    c.ws.binary(binary);
    c.ws.write(asio::buffer(data, len), ec);
    c.ws.binary(true);
    if (ec)
        c.error = ec.message();
    return !ec;
}

bool wssend(WSCLIENT &c, const std::vector<unsigned char> &msg) { return write(c, msg.data(), msg.size(), true); }
bool wssendtext(WSCLIENT &c, const std::string &text) { return write(c, text.data(), text.size(), false); }

bool wsread(WSCLIENT &c, std::vector<unsigned char> &msg)
{
    beast::flat_buffer buf;
    beast::error_code ec;
    bool done = false;
    c.ws.async_read(buf, [&](beast::error_code e, size_t) {
        ec = e;
        done = true;
    });
    if (!rununtil(c.ioc, c.ws.next_layer(), done, c.timeoutms)) {
        c.error = "read timed out";
        return false;
    }
    if (ec) {
        c.error = ec.message();
        c.closed = ec == beast::websocket::error::closed;
        return false;
    }
    auto d = buf.cdata();
    msg.assign((const unsigned char *)d.data(), (const unsigned char *)d.data() + d.size());
    return true;
}

int wsclosecode(WSCLIENT &c)
{
    std::vector<unsigned char> msg;
    for (;;) {
        if (wsread(c, msg))
            continue;
        return c.closed ? (int)c.ws.reason().code : -1;
    }
}
