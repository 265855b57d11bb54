// Starting the web endpoint: the listening socket, the io thread that runs
// every HTTP and WebSocket session, and the stream thread.
#include "web/web.h"

#include <boost/asio/steady_timer.hpp>

#include <cstdio>
#include <memory>
#include <thread>

#include "web/http.h"
#include "web/metrics.h"
#include "web/webgame.h"

namespace {

void acceptnext(WEBGAME &web)
{
    web.acceptor.async_accept([&web](boost::system::error_code ec, boost::asio::ip::tcp::socket socket) {
        if (!ec) {
            servehttp(web, std::move(socket));
            acceptnext(web);
            return;
        }
        // Out of descriptors or memory: the next accept would fail at once
        // too, so let the endpoint breathe instead of spinning.
        auto pause = std::make_shared<boost::asio::steady_timer>(web.ioc, std::chrono::milliseconds(100));
        pause->async_wait([pause, &web](boost::system::error_code) { acceptnext(web); });
    });
}

// Every tick of the game: the stream's cue.
void observer(GAME &g, double, size_t) { notestreamtick(g.web->hub); }

} // namespace

bool startweb(GAME &g, const WEBSETTINGS &settings, int port, bool chosen)
{
    auto web = std::make_shared<WEBGAME>();
    web->game = &g;
    web->settings = settings;
    web->room.settings = web->hub.settings = &web->settings;
    web->room.metrics = web->hub.metrics = &web->metrics;
    boost::system::error_code ec;
    const boost::asio::ip::tcp::endpoint at(boost::asio::ip::address_v4::any(), (unsigned short)port);
    web->acceptor.open(at.protocol(), ec);
    if (!ec)
        web->acceptor.set_option(boost::asio::socket_base::reuse_address(true), ec);
    if (!ec)
        web->acceptor.bind(at, ec);
    if (!ec)
        web->acceptor.listen(boost::asio::socket_base::max_listen_connections, ec);
    if (ec) {
        std::fprintf(stderr, chosen ? "http: port %d: %s\n" : "http: port %d: %s; the web page is off\n", port,
                     ec.message().c_str());
        return false;
    }
    webmetrics(web->metrics, g.metrics);
    startstream(web->hub, g, web->ioc);
    g.web = web;
    g.observer = observer;
    acceptnext(*web);
    std::thread([web] { web->ioc.run(); }).detach();
    return true;
}
