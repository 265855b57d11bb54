// Starting the web endpoint: the listening socket, the io thread that runs
// every HTTP and WebSocket session, and the stream thread.
#include "web/web.h"

#include <boost/asio/ip/v6_only.hpp>
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

// The web's hook, after every tick of the game: the stream's cue.
void webticked(void *arg, GAME &, const TICKREPORT &) { notestreamtick(((WEBGAME *)arg)->hub); }

// Opens the acceptor listening on `at`; false with the reason in ec.
bool listenon(boost::asio::ip::tcp::acceptor &acceptor, const boost::asio::ip::tcp::endpoint &at,
              boost::system::error_code &ec)
{
    acceptor.open(at.protocol(), ec);
    if (!ec && at.address().is_v6())
        acceptor.set_option(boost::asio::ip::v6_only(false), ec); // IPv4 clients too, as mapped addresses
    if (!ec)
        acceptor.set_option(boost::asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(at, ec);
    if (!ec)
        acceptor.listen(boost::asio::socket_base::max_listen_connections, ec);
    if (ec && acceptor.is_open()) {
        boost::system::error_code ignored;
        acceptor.close(ignored);
    }
    return !ec;
}

} // namespace

bool startweb(GAME &g, const WEBSETTINGS &settings, int port, bool chosen, int *bound)
{
    auto web = std::make_shared<WEBGAME>();
    web->game = &g;
    web->settings = settings;
    web->room.settings = web->hub.settings = &web->settings;
    web->room.metrics = web->hub.metrics = &web->metrics;
    // One socket for both families where the host has IPv6; IPv4 alone
    // where it has not (or the IPv6 socket cannot be had for any reason:
    // then the IPv4 one's failure is the one told).
    boost::system::error_code ec;
    using boost::asio::ip::tcp;
    if (!listenon(web->acceptor, tcp::endpoint(boost::asio::ip::address_v6::any(), (unsigned short)port), ec) &&
        !listenon(web->acceptor, tcp::endpoint(boost::asio::ip::address_v4::any(), (unsigned short)port), ec)) {
        std::fprintf(stderr, chosen ? "http: port %d: %s\n" : "http: port %d: %s; the web page is off\n", port,
                     ec.message().c_str());
        return false;
    }
    if (bound)
        *bound = web->acceptor.local_endpoint(ec).port();
    webmetrics(web->metrics, g.metrics);
    startstream(web->hub, g, web->ioc);
    addtickhook(g, webticked, web.get()); // the io thread keeps web for the life of the process
    acceptnext(*web);
    std::thread([web] { web->ioc.run(); }).detach();
    return true;
}
