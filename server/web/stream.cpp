// The stream thread and the hub.
#include "web/stream.h"

#include <boost/asio/post.hpp>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "exposure.h"
#include "messages.h"
#include "player.h"
#include "web/drawworld.h"
#include "web/helloinfo.h"
#include "web/metrics.h"
#include "web/websession.h"
#include "world.h"

namespace {

// The numbers of the web players.
std::mutex web_lock;                // guards webplayers; never held with another lock
std::vector<int> webplayers;        // guarded by web_lock

std::atomic<uint64_t> ticksseen{0}; // ticks the tick observer told of
// Set by the io thread once it published the last drawing: the stream
// thread may draw into the codec's next buffer (release/acquire).
std::atomic<bool> drawable{true};

// The io thread's own state.
struct HUB {
    boost::asio::io_context *ioc = nullptr;
    STREAMCODEC codec;
    std::vector<std::weak_ptr<WEBSESSION>> sessions;
    HELLOINFO helloinfo;                        // the map's, made at start
    std::shared_ptr<const std::string> hello;   // HELLO as of helloinfo.tick
    std::shared_ptr<const std::string> players; // the newest PLAYERS message
    std::vector<STREAMPLAYER> playerlist;       // what it says
    uint64_t playersversion = 0;
};
HUB hub; // the io thread's (helloinfo is made before the threads start)

// What the stream thread hands the io thread for one tick.
struct TICKPOST {
    bool drawn;                      // the codec's next buffer holds the tick's drawing
    std::vector<STREAMPLAYER> players;
};

std::vector<int> webplayernumbers()
{
    std::lock_guard<std::mutex> g(web_lock);
    return webplayers;
}

std::vector<STREAMPLAYER> readplayers(const std::vector<int> &web)
{
    std::vector<STREAMPLAYER> list;
    PLAYERS &p = serverplayers;
    pthread_mutex_lock(&p.playerlist_lock);
    list.resize((size_t)p.numplayers);
    for (int i = 0; i < p.numplayers; i++)
        list[(size_t)i].info = p.playerlist[i];
    pthread_mutex_unlock(&p.playerlist_lock);
    for (int n : web)
        if (n >= 0 && (size_t)n < list.size())
            list[(size_t)n].web = true;
    return list;
}

// True when two player lists show the same (the entries' trailers, which
// "getplayerinfo;" stamps, do not count).
bool sameplayers(const std::vector<STREAMPLAYER> &a, const std::vector<STREAMPLAYER> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        const PLAYERINFO &p = a[i].info, &q = b[i].info;
        if (a[i].web != b[i].web || p.num != q.num || p.x != q.x || p.y != q.y || p.health != q.health ||
            p.score != q.score || p.team != q.team || std::strncmp(p.name, q.name, sizeof p.name) != 0)
            return false;
    }
    return true;
}

// In the io thread: the tick becomes the codec's current one, and every
// session hears of it.
void ontick(const std::shared_ptr<TICKPOST> &t)
{
    if (t->drawn)
        publishtick(hub.codec);
    else
        publishquiet(hub.codec);
    drawable.store(true, std::memory_order_release);
    if (!hub.players || !sameplayers(t->players, hub.playerlist)) {
        hub.players = std::make_shared<const std::string>(encodeplayers(hub.codec.tick, t->players));
        hub.playerlist = std::move(t->players);
        hub.playersversion++;
    }
    std::vector<std::shared_ptr<WEBSESSION>> live;
    for (auto &w : hub.sessions)
        if (auto s = w.lock())
            live.push_back(std::move(s));
    for (auto &s : live)
        s->deliver();
}

// The stream thread: exposure for the web players every tick, and a
// drawing of the world whenever the io thread has taken the last one.
void streamloop()
{
    uint64_t seen = 0;
    uint64_t drawngeneration = ~(uint64_t)0;
    WORLD &w = serverworld;
    for (;;) {
        ticksseen.wait(seen, std::memory_order_acquire);
        seen = ticksseen.load(std::memory_order_acquire);
        std::vector<int> web = webplayernumbers();
        for (int n : web)
            doexposure(n);
        if (!drawable.load(std::memory_order_acquire))
            continue; // the io thread is behind: it gets a later tick
        auto post = std::make_shared<TICKPOST>();
        pthread_mutex_lock(&w.oldmap_lock);
        post->drawn = w.mapgeneration != drawngeneration;
        if (post->drawn) {
            drawworld(w, nextdrawing(hub.codec));
            drawngeneration = w.mapgeneration;
        }
        pthread_mutex_unlock(&w.oldmap_lock);
        post->players = readplayers(web);
        drawable.store(false, std::memory_order_relaxed);
        boost::asio::post(*hub.ioc, [post] { ontick(post); });
    }
}

} // namespace

void addwebplayer(int num)
{
    std::lock_guard<std::mutex> g(web_lock);
    webplayers.push_back(num);
}

void removewebplayer(int num)
{
    std::lock_guard<std::mutex> g(web_lock);
    webplayers.erase(std::remove(webplayers.begin(), webplayers.end(), num), webplayers.end());
}

void startstream(boost::asio::io_context &ioc)
{
    hub.ioc = &ioc;
    hub.codec.grid = tiling(serverworld.mapsizex, serverworld.mapsizey);
    hub.helloinfo = helloinfo(serverworld);
    std::thread(streamloop).detach();
}

void notestreamtick()
{
    ticksseen.fetch_add(1, std::memory_order_release);
    ticksseen.notify_one();
}

void registersession(const std::shared_ptr<WEBSESSION> &s)
{
    hub.sessions.push_back(s);
    setwebsockets(websessions());
}

void unregistersession(WEBSESSION *s)
{
    auto &v = hub.sessions;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [s](const std::weak_ptr<WEBSESSION> &w) {
                               auto p = w.lock();
                               return !p || p.get() == s;
                           }),
            v.end());
    setwebsockets(websessions());
}

int websessions() { return (int)hub.sessions.size(); }

std::shared_ptr<const std::string> hellomessage()
{
    if (!hub.hello || hub.helloinfo.tick != hub.codec.tick) {
        hub.helloinfo.tick = hub.codec.tick;
        hub.hello = std::make_shared<const std::string>(encodehello(hub.helloinfo));
    }
    return hub.hello;
}

std::shared_ptr<const std::string> playersmessage(uint64_t *version)
{
    *version = hub.playersversion;
    return hub.players;
}

void setview(CLIENTSTREAM &c, const CELLRECT &view)
{
    c.view = view;
    c.viewset = true;
}

bool nextframe(CLIENTSTREAM &c, std::vector<std::shared_ptr<const std::string>> &parts)
{
    if (!c.viewset || hub.codec.tick == 0)
        return false;
    if (c.last.sent && c.last.tick == hub.codec.tick && c.last.view == c.view)
        return false;
    FRAME f = buildframe(hub.codec, c.view, c.last);
    if (!f.key && f.tiles.empty()) {
        c.last = sentframe(f); // nothing it views changed: nothing to send
        return false;
    }
    if (c.last.sent && hub.codec.tick > c.last.tick + 1)
        countweb(FRAMESCOALESCED, hub.codec.tick - c.last.tick - 1);
    countweb(FRAMESSENT);
    parts.push_back(std::make_shared<const std::string>(std::move(f.header)));
    for (auto &b : f.tiles)
        parts.push_back(std::move(b));
    c.last = sentframe(f);
    return true;
}
