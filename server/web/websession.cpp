// A WebSocket client of the live stream.
#include "web/websession.h"

#include <boost/asio/buffer.hpp>

#include <utility>

#include "protocol.h"
#include "clientmsg.h"
#include "game/game.h"
#include "web/metrics.h"
#include "web/stream.h"

namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;

// Bytes of the kernel's send buffer of a WebSocket connection.
enum { SENDBUFFER = 256 * 1024 };

WEBSESSION::WEBSESSION(HUB &hub, boost::asio::ip::tcp::socket &&socket)
    : hub(hub), ws(std::move(socket)), watchdog(ws.get_executor())
{
}

void WEBSESSION::run(beast::http::request<beast::http::string_body> req)
{
    // What a client has not taken waits in the kernel too: a fixed send
    // buffer keeps that to a few frames, so a slow reader catches up to
    // the newest state instead of draining old ones.
    beast::error_code ec;
    beast::get_lowest_layer(ws).socket().set_option(boost::asio::socket_base::send_buffer_size(SENDBUFFER), ec);
    ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws.set_option(websocket::stream_base::decorator(
        [](websocket::response_type &res) { res.set(beast::http::field::server, "kindler"); }));
    // Compression pays for the messages that are not deflated already
    // (HELLO, PLAYERS); tiles go as they are (see send).
    websocket::permessage_deflate pmd;
    pmd.server_enable = true;
    pmd.msg_size_threshold = 64;
    ws.set_option(pmd);
    ws.read_message_max(CLIENTMSGMAX);
    ws.binary(true);
    ws.async_accept(req, beast::bind_front_handler(&WEBSESSION::onaccept, shared_from_this()));
}

void WEBSESSION::onaccept(beast::error_code ec)
{
    if (ec)
        return;
    open = true;
    hello = hellomessage(hub);
    registersession(hub, shared_from_this());
    readnext();
    deliver();
}

void WEBSESSION::readnext()
{
    ws.async_read(in, beast::bind_front_handler(&WEBSESSION::onread, shared_from_this()));
}

void WEBSESSION::onread(beast::error_code ec, size_t)
{
    if (ec) {
        if (ec == websocket::error::message_too_big)
            closewith(websocket::close_code::too_big);
        else
            end();
        return;
    }
    auto data = in.cdata();
    handle((const unsigned char *)data.data(), data.size(), !ws.got_binary());
    in.consume(in.size());
    if (open)
        readnext();
}

void WEBSESSION::handle(const unsigned char *data, size_t len, bool text)
{
    CLIENTMSG m = parseclient(data, len, text);
    const int had = player.num;
    switch (m.action) {
    case DOVIEW:
        setview(stream, m.view);
        break;
    case DOJOIN:
        // Over the JOIN rate: refused as "too many joins".
        if (!ticket || mayjoin(*ticket)) {
            joinkeyed(*hub.game, player, m.name, m.key, refusal);
        } else {
            leavegame(*hub.game, player);
            refusal = TOOMANYJOINS;
        }
        you = 1;
        break;
    case DORESUME:
        refusal.clear();
        countweb(*hub.metrics, resumegame(*hub.game, player, m.token) >= 0 ? RESUMED : RESUMEUNKNOWN);
        you = 1;
        break;
    case DOMOVE:
        switch (moveplayer(*hub.game, player, player.num, m.dx, m.dy, true)) {
        case ACTDROPPED:
            countweb(*hub.metrics, MOVESDROPPED);
            break;
        case ACTREFUSED:
            countweb(*hub.metrics, MOVESREFUSED);
            break;
        case ACTDONE:
            break;
        }
        break;
    case DOFIRE:
        if (setfire(*hub.game, player) == ACTDROPPED)
            countweb(*hub.metrics, FIRESDROPPED);
        break;
    case DOCLOSE:
        closewith((websocket::close_code)m.closecode);
        return;
    }
    // An action found the player taken over by another connection: the
    // client hears that it has none.
    if (had >= 0 && player.num < 0)
        you = 1;
    deliver();
}

void WEBSESSION::deliver()
{
    if (open && !writing)
        sendnext();
}

// Sends what is due, most urgent first: HELLO, the answer to a JOIN, the
// round when it changed, the players when they changed, then the map.
void WEBSESSION::sendnext()
{
    out.clear();
    if (hello) {
        out.push_back(hello);
        hello.reset();
        send(true);
        return;
    }
    if (you) {
        you = 0;
        out.push_back(std::make_shared<const std::string>(encodeyou(player.num, player.token, refusal)));
        send(false);
        return;
    }
    uint64_t version;
    std::shared_ptr<const std::string> round = roundmessage(hub, &version);
    if (sendnewer(round, version, roundversion, false))
        return;
    std::shared_ptr<const std::string> players = playersmessage(hub, &version);
    if (sendnewer(players, version, playersversion, true))
        return;
    if (nextframe(hub, stream, out))
        send(false);
}

// Sends `message` (none: nothing) when its version is not the one last
// sent, `sent`, which it then becomes; true when it went.
bool WEBSESSION::sendnewer(std::shared_ptr<const std::string> message, uint64_t version, uint64_t &sent,
                           bool compress)
{
    if (!message || version == sent)
        return false;
    sent = version;
    out.push_back(std::move(message));
    send(compress);
    return true;
}

void WEBSESSION::send(bool compress)
{
    std::vector<boost::asio::const_buffer> buffers;
    size_t bytes = 0;
    for (const auto &p : out) {
        buffers.emplace_back(p->data(), p->size());
        bytes += p->size();
    }
    countweb(*hub.metrics, WSBYTESSENT, (double)bytes);
    writing = true;
    ws.compress(compress);
    watchdog.expires_after(std::chrono::seconds(hub.settings->stalltimeout));
    watchdog.async_wait([self = shared_from_this()](beast::error_code ec) {
        if (!ec)
            self->abort();
    });
    ws.async_write(buffers, beast::bind_front_handler(&WEBSESSION::onwrite, shared_from_this()));
}

void WEBSESSION::onwrite(beast::error_code ec, size_t)
{
    writing = false;
    watchdog.cancel();
    out.clear();
    if (ec) {
        end();
        return;
    }
    if (closing) {
        startclose();
        return;
    }
    deliver();
}

// Closes with `code` once the message being sent (if any) is out.
void WEBSESSION::closewith(websocket::close_code code)
{
    if (!open)
        return;
    end();
    closing = code;
    if (!writing)
        startclose();
}

void WEBSESSION::startclose()
{
    ws.async_close(closing, [self = shared_from_this()](beast::error_code) {});
}

void WEBSESSION::abort()
{
    end();
    beast::error_code ec;
    beast::get_lowest_layer(ws).socket().close(ec);
}

// The session is over: its player is kept for a resume, the hub forgets it.
void WEBSESSION::end()
{
    if (!open)
        return;
    open = false;
    dropgame(*hub.game, player);
    unregistersession(hub, this);
}
