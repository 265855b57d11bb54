// Starting the web endpoint: the listening socket, the io thread that runs
// every HTTP and WebSocket session, and the stream thread.
#include "web/web.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "publish.h"
#include "web/http.h"
#include "web/metrics.h"
#include "web/stream.h"

namespace {

boost::asio::io_context *ioc;               // runs in the io thread only
boost::asio::ip::tcp::acceptor *acceptor;   // used in the io thread only

void acceptnext()
{
    acceptor->async_accept([](boost::system::error_code ec, boost::asio::ip::tcp::socket socket) {
        if (!ec) {
            servehttp(std::move(socket));
            acceptnext();
            return;
        }
        // Out of descriptors or memory: the next accept would fail at once
        // too, so let the endpoint breathe instead of spinning.
        auto pause = std::make_shared<boost::asio::steady_timer>(*ioc, std::chrono::milliseconds(100));
        pause->async_wait([pause](boost::system::error_code) { acceptnext(); });
    });
}

// Every tick of the server's world: metrics, and the stream's cue.
void observer(WORLD &w, double seconds, size_t burning)
{
    if (&w != &serverworld)
        return;
    observetick(seconds, burning);
    notestreamtick();
}

} // namespace

void startweb(int port, bool chosen)
{
    ioc = new boost::asio::io_context(1); // lives as long as the process
    acceptor = new boost::asio::ip::tcp::acceptor(*ioc);
    boost::system::error_code ec;
    const boost::asio::ip::tcp::endpoint at(boost::asio::ip::address_v4::any(), (unsigned short)port);
    acceptor->open(at.protocol(), ec);
    if (!ec)
        acceptor->set_option(boost::asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor->bind(at, ec);
    if (!ec)
        acceptor->listen(boost::asio::socket_base::max_listen_connections, ec);
    if (ec) {
        if (chosen) {
            std::fprintf(stderr, "http: port %d: %s\n", port, ec.message().c_str());
            std::exit(1);
        }
        std::fprintf(stderr, "http: port %d: %s; the web page is off\n", port, ec.message().c_str());
        return;
    }
    initmetrics();
    startstream(*ioc);
    tickobserver = observer;
    acceptnext();
    std::thread([] { ioc->run(); }).detach();
}
