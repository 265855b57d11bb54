// HTTP sessions: the page, /healthz, /metrics, /leaderboard, /games, and the upgrade to the
// live stream. Requests are read with a time limit and a size limit; a
// malformed one is answered 400 and the connection closed. A connection
// is first admitted by the web's limits; an upgrade from a foreign page
// is answered 403. The page's files go gzip-compressed to a client that
// takes it, with an ETag.
#include "web/http.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <cctype>
#include <memory>

#include "web/admission.h"
#include "web/assets.h"
#include "web/games.h"
#include "web/leaderboard.h"
#include "web/metrics.h"
#include "web/origin.h"
#include "web/stream.h"
#include "web/webgame.h"
#include "web/websession.h"

namespace beast = boost::beast;
namespace http = boost::beast::http;

// The page may load only its own files and talk only to its own origin.
static const char CSP[] = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                          "connect-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

// Ticks stop being "running" when none ended for this many seconds.
static const double HEALTHYGAP = 2.0;

namespace {

// One element of a comma-separated field, lower-cased, parameters cut off
// (into *params when given), blanks trimmed.
std::string element(const std::string &field, size_t from, size_t to, std::string *params = nullptr)
{
    std::string e;
    for (size_t i = from; i < to; i++)
        e += (char)std::tolower((unsigned char)field[i]);
    size_t semi = e.find(';');
    if (params)
        *params = semi == std::string::npos ? "" : e.substr(semi + 1);
    e = e.substr(0, semi);
    size_t a = e.find_first_not_of(" \t"), b = e.find_last_not_of(" \t");
    return a == std::string::npos ? "" : e.substr(a, b - a + 1);
}

// Calls fn(element, params) for each element of a comma-separated field.
template <class FN> void elements(const std::string &field, FN fn)
{
    for (size_t from = 0; from <= field.size();) {
        size_t to = field.find(',', from);
        if (to == std::string::npos)
            to = field.size();
        std::string params, e = element(field, from, to, &params);
        fn(e, params);
        from = to + 1;
    }
}

// Accept-Encoding takes gzip: named (or "*") without q=0.
bool takesgzip(const std::string &acceptencoding)
{
    int gzip = -1, any = -1; // -1 unnamed, 0 refused, 1 taken
    elements(acceptencoding, [&](const std::string &e, const std::string &params) {
        std::string p;
        for (char c : params)
            if (c != ' ' && c != '\t')
                p += c;
        int q = p.rfind("q=0", 0) == 0 && p.find_first_not_of("q=0.", 0) == std::string::npos ? 0 : 1;
        if (e == "gzip" || e == "x-gzip")
            gzip = q;
        else if (e == "*")
            any = q;
    });
    return gzip == 1 || (gzip == -1 && any == 1);
}

// If-None-Match names `etag`, one of ours (lower-case: elements are);
// weak tags compare as strong, as for GET.
bool tagmatches(const std::string &ifnonematch, const std::string &etag)
{
    bool match = false;
    elements(ifnonematch, [&](std::string e, const std::string &) {
        if (e.rfind("w/", 0) == 0)
            e = e.substr(2);
        match = match || e == "*" || e == etag;
    });
    return match;
}

} // namespace

WEBREPLY webget(GAME &g, const std::string &target, const std::string &acceptencoding, const std::string &ifnonematch,
                const std::string &host)
{
    std::string path = target.substr(0, target.find('?'));
    if (path == "/healthz") {
        double since = sincelasttick(g.metrics);
        if (since >= 0 && since < HEALTHYGAP)
            return {200, "text/plain; charset=utf-8", "ok\n"};
        return {503, "text/plain; charset=utf-8", "ticks are not running\n"};
    }
    if (path == "/games")
        return {200, "application/json", gamesjson(g, host)};
    if (path == "/leaderboard")
        return {200, "application/json", leaderboardjson(g)};
    if (path == "/metrics")
        return {200, "text/plain; version=0.0.4; charset=utf-8", scrapemetrics(g.metrics)};
    if (path == "/")
        path = "/index.html";
    if (const ASSET *a = findasset(path)) {
        bool gzip = a->gzip && takesgzip(acceptencoding);
        // Each of the two forms has its own tag.
        std::string etag = std::string("\"") + a->tag + (gzip ? "-gz\"" : "\"");
        if (!ifnonematch.empty() && tagmatches(ifnonematch, etag))
            return {304, a->type, "", etag, gzip};
        if (gzip)
            return {200, a->type, std::string((const char *)a->gzip, a->gzipsize), etag, true};
        return {200, a->type, std::string((const char *)a->data, a->size), etag, false};
    }
    return {404, "text/plain; charset=utf-8", "not found\n"};
}

namespace {

struct HTTPSESSION : std::enable_shared_from_this<HTTPSESSION> {
    HTTPSESSION(WEBGAME &web, boost::asio::ip::tcp::socket &&socket, std::shared_ptr<ADMISSION> t)
        : web(web), ticket(std::move(t)), stream(std::move(socket))
    {
    }

    WEBGAME &web;
    std::shared_ptr<ADMISSION> ticket; // the connection's place in the limits
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    std::unique_ptr<http::request_parser<http::string_body>> parser;
    std::shared_ptr<void> reply; // the response being written

    void readnext()
    {
        parser = std::make_unique<http::request_parser<http::string_body>>();
        parser->header_limit(8 * 1024);
        parser->body_limit(1024);
        stream.expires_after(std::chrono::seconds(web.settings.idletimeout));
        http::async_read(stream, buffer, *parser, beast::bind_front_handler(&HTTPSESSION::onread, shared_from_this()));
    }

    void onread(beast::error_code ec, size_t)
    {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == boost::asio::error::eof ||
            ec == boost::asio::error::connection_reset) {
            close();
            return;
        }
        if (ec) { // a request that is not HTTP, or too large
            http::response<http::string_body> res{http::status::bad_request, 11};
            res.set(http::field::content_type, "text/plain; charset=utf-8");
            res.body() = "bad request\n";
            res.keep_alive(false);
            send(std::move(res));
            return;
        }
        http::request<http::string_body> req = parser->release();
        if (boost::beast::websocket::is_upgrade(req) && req.target() == "/stream") {
            upgrade(std::move(req));
            return;
        }
        answer(req);
    }

    void upgrade(http::request<http::string_body> req)
    {
        if (!originallowed(web.settings.origins, std::string(req[http::field::origin]),
                           std::string(req[http::field::host]))) {
            countweb(web.metrics, REFUSEDORIGIN);
            refuse(http::status::forbidden, req.version(), "pages of other sites may not play here\n");
            return;
        }
        if (websessions(web.hub) >= web.settings.websockets) {
            countweb(web.metrics, REFUSEDWEBSOCKETS);
            refuse(http::status::service_unavailable, req.version(), "too many clients\n");
            return;
        }
        stream.expires_never();
        auto session = std::make_shared<WEBSESSION>(web.hub, stream.release_socket());
        session->ticket = std::move(ticket);
        session->run(std::move(req));
    }

    void refuse(http::status status, unsigned version, const char *body)
    {
        http::response<http::string_body> res{status, version};
        res.set(http::field::content_type, "text/plain; charset=utf-8");
        res.body() = body;
        res.keep_alive(false);
        send(std::move(res));
    }

    void answer(const http::request<http::string_body> &req)
    {
        http::response<http::string_body> res;
        res.version(req.version());
        res.keep_alive(req.keep_alive());
        res.set(http::field::server, "kindler");
        if (req.method() != http::verb::get && req.method() != http::verb::head) {
            res.result(http::status::method_not_allowed);
            res.set(http::field::allow, "GET, HEAD");
            res.set(http::field::content_type, "text/plain; charset=utf-8");
            res.body() = "method not allowed\n";
        } else {
            WEBREPLY r = webget(*web.game, std::string(req.target()), std::string(req[http::field::accept_encoding]),
                                std::string(req[http::field::if_none_match]), std::string(req[http::field::host]));
            res.result((unsigned)r.status);
            if (r.status != 304)
                res.set(http::field::content_type, r.type);
            if (r.etag.empty()) {
                res.set(http::field::cache_control, "no-store");
            } else { // the page's files: kept, and asked after on each use
                res.set(http::field::cache_control, "no-cache");
                res.set(http::field::etag, r.etag);
                res.set(http::field::vary, "Accept-Encoding");
                if (r.gzip && r.status == 200)
                    res.set(http::field::content_encoding, "gzip");
            }
            res.set("Content-Security-Policy", CSP);
            res.set("X-Content-Type-Options", "nosniff");
            res.body() = std::move(r.body);
        }
        if (res.result() != http::status::not_modified)
            res.prepare_payload();
        if (req.method() == http::verb::head)
            res.body().clear(); // the length stays that of the body
        send(std::move(res));
    }

    void send(http::response<http::string_body> &&res)
    {
        countweb(web.metrics, HTTPBYTESSENT, (double)res.body().size());
        auto sp = std::make_shared<http::response<http::string_body>>(std::move(res));
        reply = sp;
        http::async_write(stream, *sp,
                          [self = shared_from_this(), keep = sp->keep_alive()](beast::error_code ec, size_t) {
                              self->reply.reset();
                              if (ec || !keep)
                                  self->close();
                              else
                                  self->readnext();
                          });
    }

    void close()
    {
        beast::error_code ec;
        stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ec);
        stream.close();
    }
};

} // namespace

void servehttp(WEBGAME &web, boost::asio::ip::tcp::socket &&socket)
{
    if (auto ticket = admitweb(web.room, socket))
        std::make_shared<HTTPSESSION>(web, std::move(socket), std::move(ticket))->readnext();
}
