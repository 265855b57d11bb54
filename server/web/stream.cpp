// The stream thread and the hub.
#include "web/stream.h"

#include <boost/asio/post.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "engine/published.h"
#include "messages.h"
#include "web/drawworld.h"
#include "web/helloinfo.h"
#include "web/metrics.h"

namespace {

// What the stream thread hands the io thread for one tick.
struct TICKPOST {
    bool drawn;                      // the codec's next buffer holds the tick's drawing
    uint32_t tick;                   // the game's ticks since its map was loaded
    std::vector<STREAMPLAYER> players;
    bool rounds = false;             // the game plays rounds
    ROUNDVIEW round;                 // as read after the drawing
};

std::vector<STREAMPLAYER> readplayers(GAME &g)
{
    const std::vector<LISTEDPLAYER> all = listplayers(g);
    std::vector<STREAMPLAYER> list(all.size());
    for (size_t i = 0; i < all.size(); i++)
        list[i] = STREAMPLAYER{all[i].info, all[i].web};
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
void ontick(HUB &hub, const std::shared_ptr<TICKPOST> &t)
{
    if (t->drawn)
        publishtick(hub.codec, t->tick);
    else
        publishquiet(hub.codec, t->tick);
    hub.drawable.store(true, std::memory_order_release);
    if (!hub.players || !sameplayers(t->players, hub.playerlist)) {
        hub.players = std::make_shared<const std::string>(encodeplayers(hub.codec.tick, t->players));
        hub.playerlist = std::move(t->players);
        hub.playersversion++;
    }
    if (t->rounds && (hub.roundversion == 0 || t->round.version != hub.round.version)) {
        hub.round = std::move(t->round);
        hub.roundtaken = steadyseconds();
        hub.roundversion++;
    }
    std::vector<std::shared_ptr<SUBSCRIBER>> live;
    for (auto &w : hub.sessions)
        if (auto s = w.lock())
            live.push_back(std::move(s));
    for (auto &s : live)
        s->deliver();
}

// The stream thread: a drawing of the world whenever the io thread has
// taken the last one.
void streamloop(HUB &hub)
{
    uint64_t seen = 0;
    uint64_t drawngeneration = ~(uint64_t)0;
    WORLD &w = hub.game->world;
    for (;;) {
        hub.ticksseen.wait(seen, std::memory_order_acquire);
        seen = hub.ticksseen.load(std::memory_order_acquire);
        if (!hub.drawable.load(std::memory_order_acquire))
            continue; // the io thread is behind: it gets a later tick
        auto post = std::make_shared<TICKPOST>();
        readpublished(w, [&](const WORLD &pw) {
            post->drawn = pubgeneration(pw) != drawngeneration;
            post->tick = (uint32_t)pubticks(pw);
            if (post->drawn) {
                drawworld(pw, nextdrawing(hub.codec));
                drawngeneration = pubgeneration(pw);
            }
        });
        post->players = readplayers(*hub.game);
        post->rounds = hub.game->rounds.length > 0;
        if (post->rounds)
            post->round = roundview(hub.game->rounds);
        hub.drawable.store(false, std::memory_order_relaxed);
        boost::asio::post(*hub.ioc, [&hub, post] { ontick(hub, post); });
    }
}

} // namespace

void startstream(HUB &hub, GAME &g, boost::asio::io_context &ioc)
{
    hub.game = &g;
    hub.ioc = &ioc;
    const GAMEMAP map = gamemap(g);
    hub.codec.grid = tiling(map.sizex, map.sizey);
    hub.helloinfo = helloinfo(g.world);
    std::thread(streamloop, std::ref(hub)).detach();
}

void notestreamtick(HUB &hub)
{
    hub.ticksseen.fetch_add(1, std::memory_order_release);
    hub.ticksseen.notify_one();
}

void registersession(HUB &hub, const std::shared_ptr<SUBSCRIBER> &s)
{
    hub.sessions.push_back(s);
    setwebsockets(*hub.metrics, websessions(hub));
}

void unregistersession(HUB &hub, SUBSCRIBER *s)
{
    auto &v = hub.sessions;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [s](const std::weak_ptr<SUBSCRIBER> &w) {
                               auto p = w.lock();
                               return !p || p.get() == s;
                           }),
            v.end());
    setwebsockets(*hub.metrics, websessions(hub));
}

int websessions(const HUB &hub) { return (int)hub.sessions.size(); }

std::shared_ptr<const std::string> hellomessage(HUB &hub)
{
    // HELLO tells what is fixed once the world is loaded, and the tick the
    // hub published last.
    if (!hub.hello || hub.helloinfo.tick != hub.codec.tick) {
        hub.helloinfo.tick = hub.codec.tick;
        hub.hello = std::make_shared<const std::string>(encodehello(hub.helloinfo));
    }
    return hub.hello;
}

std::shared_ptr<const std::string> playersmessage(const HUB &hub, uint64_t *version)
{
    *version = hub.playersversion;
    return hub.players;
}

std::shared_ptr<const std::string> roundmessage(const HUB &hub, uint64_t *version)
{
    *version = hub.roundversion;
    if (hub.roundversion == 0)
        return nullptr;
    const ROUNDVIEW &r = hub.round;
    const double left = std::max(0.0, r.left - (steadyseconds() - hub.roundtaken));
    std::vector<ROUNDWINNER> top;
    for (const ROUNDRESULT::ENTRY &e : r.top)
        top.push_back({(uint32_t)e.num, e.score, e.died, e.name});
    return std::make_shared<const std::string>(
        encoderound(r.number, r.phase, (uint32_t)std::lround(left * 1000), r.why, top));
}

void setview(SENTMAP &c, const CELLRECT &view)
{
    c.view = view;
    c.viewset = true;
}

bool nextframe(HUB &hub, SENTMAP &c, std::vector<std::shared_ptr<const std::string>> &parts)
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
        countweb(*hub.metrics, FRAMESCOALESCED, hub.codec.tick - c.last.tick - 1);
    countweb(*hub.metrics, FRAMESSENT);
    parts.push_back(std::make_shared<const std::string>(std::move(f.header)));
    for (auto &b : f.tiles)
        parts.push_back(std::move(b));
    c.last = sentframe(f);
    return true;
}
