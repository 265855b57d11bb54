// Connection caps, the descriptor reserve and the JOIN limiter of the web
// port. Everything here runs in the web's io thread: the table of
// addresses is a plain map.
#include "web/admission.h"

#include <sys/resource.h>

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include <chrono>

#include "game/game.h"
#include "web/metrics.h"

using boost::asio::ip::tcp;

TOKENBUCKET joinbucket(int perminute) { return minutebucket(perminute); }

std::string addresskey(const tcp::endpoint &e) { return addresskey(e.data()); }

namespace {

// A refused client is answered, then given this long to finish sending
// its request (closing on unread bytes would reset the connection and
// could destroy the answer); at most MAXLINGER at once, others are closed
// after the answer without waiting.
const auto LINGER = std::chrono::seconds(1);
enum { MAXLINGER = 64 };

// Forgets addresses that hold no connection and whose JOIN bucket has
// refilled: they would start afresh anyway.
void sweep(ADMISSIONS &room)
{
    const double t = buckettime();
    auto &a = room.addresses;
    for (auto it = a.begin(); it != a.end();)
        it = it->second.connections == 0 && bucketfull(it->second.joins, t) ? a.erase(it) : std::next(it);
}

// Answers a refused connection and closes it.
struct REFUSAL : std::enable_shared_from_this<REFUSAL> {
    REFUSAL(ADMISSIONS &r, tcp::socket &&s, std::string text)
        : room(r), socket(std::move(s)), timer(socket.get_executor()), answer(std::move(text))
    {
    }
    ADMISSIONS &room;
    tcp::socket socket;
    boost::asio::steady_timer timer;
    std::string answer;
    char sink[1024];
    bool counted = false; // among the lingering

    void start(bool linger)
    {
        boost::system::error_code ec;
        if (!linger || room.lingering >= MAXLINGER) {
            // A fresh socket's send buffer takes a short answer at once.
            socket.non_blocking(true, ec);
            boost::asio::write(socket, boost::asio::buffer(answer), ec);
            for (int i = 0; i < 16 && socket.read_some(boost::asio::buffer(sink), ec) > 0; i++) {
            }
            socket.shutdown(tcp::socket::shutdown_send, ec);
            socket.close(ec);
            return;
        }
        room.lingering++;
        counted = true;
        timer.expires_after(LINGER);
        timer.async_wait([self = shared_from_this()](boost::system::error_code) {
            boost::system::error_code ignored;
            self->socket.close(ignored);
        });
        boost::asio::async_write(socket, boost::asio::buffer(answer),
                                 [self = shared_from_this()](boost::system::error_code e, size_t) {
                                     boost::system::error_code ignored;
                                     self->socket.shutdown(tcp::socket::shutdown_send, ignored);
                                     if (!e)
                                         self->drain();
                                 });
    }
    void drain()
    {
        socket.async_read_some(boost::asio::buffer(sink),
                               [self = shared_from_this()](boost::system::error_code e, size_t) {
                                   if (!e)
                                       self->drain();
                                   else
                                       self->timer.cancel();
                               });
    }
    ~REFUSAL()
    {
        if (counted)
            room.lingering--;
    }
};

void refuse(ADMISSIONS &room, tcp::socket &socket, int status, const char *reason, const std::string &body, bool linger)
{
    countweb(*room.metrics, HTTPBYTESSENT, (double)body.size());
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                       "\r\nServer: kindler\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    std::make_shared<REFUSAL>(room, std::move(socket), std::move(text))->start(linger);
}

// True when descriptor `fd` lies in the reserve: the lowest free number is
// always the one given, so every lower one is taken.
bool inreserve(const ADMISSIONS &room, int fd)
{
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return false;
    return (rlim_t)fd + (rlim_t)room.settings->fdreserve >= files.rlim_cur;
}

} // namespace

struct ADMISSION {
    ADMISSIONS &room;
    ADDRESS *address; // stays in the table while it has connections
    TOKENBUCKET joins = joinbucket(room.settings->joinsperconnection);

    ADMISSION(ADMISSIONS &r, ADDRESS *a) : room(r), address(a)
    {
        address->connections++;
        room.admitted++;
        setwebconnections(*room.metrics, room.admitted);
    }
    ~ADMISSION()
    {
        address->connections--;
        room.admitted--;
        setwebconnections(*room.metrics, room.admitted);
    }
};

std::shared_ptr<ADMISSION> admitweb(ADMISSIONS &room, tcp::socket &socket)
{
    boost::system::error_code ec;
    tcp::endpoint peer = socket.remote_endpoint(ec);
    if (ec) { // already gone
        socket.close(ec);
        return nullptr;
    }
    if (inreserve(room, socket.native_handle())) {
        countweb(*room.metrics, REFUSEDDESCRIPTORS);
        refuse(room, socket, 503, "Service Unavailable", "the server is full\n", false);
        return nullptr;
    }
    auto &addresses = room.addresses;
    if (addresses.size() > 2 * (size_t)room.settings->connections + 64)
        sweep(room);
    std::string key = addresskey(peer.data());
    auto it = addresses.find(key);
    if (it != addresses.end() && it->second.connections >= room.settings->peraddress) {
        countweb(*room.metrics, REFUSEDADDRESS);
        refuse(room, socket, 429, "Too Many Requests", "too many connections from your address\n", true);
        return nullptr;
    }
    if (room.admitted >= room.settings->connections) {
        countweb(*room.metrics, REFUSEDTOTAL);
        refuse(room, socket, 503, "Service Unavailable", "the server is full\n", true);
        return nullptr;
    }
    if (it == addresses.end())
        it = addresses.emplace(key, ADDRESS{0, joinbucket(room.settings->joinsperaddress)}).first;
    return std::make_shared<ADMISSION>(room, &it->second);
}

bool mayjoin(ADMISSION &ticket)
{
    const double t = buckettime();
    if (!taketoken(ticket.joins, t)) {
        countweb(*ticket.room.metrics, JOINSREFUSEDCONNECTION);
        return false;
    }
    if (!taketoken(ticket.address->joins, t)) {
        countweb(*ticket.room.metrics, JOINSREFUSEDADDRESS);
        return false;
    }
    return true;
}

int webconnections(const ADMISSIONS &room) { return room.admitted; }
