// kindler-client: plays, watches and inspects a kindler server, speaking
// only the protocol through the client library.
//
//   info                          versions, map name and size
//   players                       the player list as a table
//   play NAME                     full-screen game (ncurses)
//   watch                         the same picture without logging in
//   snapshot FILE.png [--scale N] one picture of the map's temperatures
//
// Common options: --host ADDRESS (127.0.0.1), --port N (3140).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client.h"
#include "kindlerclient.h"
#include "view.h"
#include "arguments.h"

static const char *usage =
    "Usage: kindler-client [--host ADDRESS] [--port N] COMMAND [ARGS]\n"
    "Plays, watches and inspects a kindler server.\n"
    "\n"
    "Commands:\n"
    "  info                          server and protocol versions, map name and size\n"
    "  players                       the player list\n"
    "  play NAME                     play as NAME (full screen)\n"
    "  watch                         watch the game without playing\n"
    "  snapshot FILE.png [--scale N] write a picture of the map's temperatures\n"
    "\n"
    "Options (before or after the command):\n"
    "  --host ADDRESS  server address (default 127.0.0.1)\n"
    "  --port N        server port (default 3140)\n"
    "`kindler-client COMMAND --help` describes one command.\n";

static const char *infousage =
    "Usage: kindler-client info [--host ADDRESS] [--port N]\n"
    "Prints the server and protocol versions and the map's name and size.\n";
static const char *playersusage =
    "Usage: kindler-client players [--host ADDRESS] [--port N]\n"
    "Prints the player list: number, name, health, score, position, and\n"
    "whether the player is present or has left.\n";
static const char *playusage =
    "Usage: kindler-client play NAME [--host ADDRESS] [--port N]\n"
    "Logs in as NAME and shows the map full screen as a thermal picture:\n"
    "materials where cold, heat colours as cells warm, flames where they\n"
    "burn. You are the highlighted @, other players are their number's last\n"
    "digit.\n"
    "Keys: arrows or WASD move, space sets a fire under you, q quits.\n";
static const char *watchusage =
    "Usage: kindler-client watch [--host ADDRESS] [--port N]\n"
    "Shows the map full screen as in play, without logging in.\n"
    "Keys: arrows or WASD scroll a map larger than the window, q quits.\n";
static const char *snapshotusage =
    "Usage: kindler-client snapshot FILE.png [--scale N] [--host ADDRESS] [--port N]\n"
    "Writes one PNG of the map's temperatures with the players marked and a\n"
    "legend of the temperature colours. --scale N: pixels per cell (1 to 64;\n"
    "default: fits the map in about 600 pixels).\n";

[[noreturn]] void fatal(const std::string &line)
{
    std::fprintf(stderr, "kindler-client: %s\n", line.c_str());
    std::exit(1);
}

void connectto(KCLIENT *kc, const CLIENTOPTIONS &opt)
{
    if (kcconnect(kc, opt.host.c_str(), opt.port) < 0)
        fatal("cannot connect to " + opt.host + ":" + std::to_string(opt.port) + ": " + kc->error);
}

[[noreturn]] void lost(KCLIENT *kc, const char *what)
{
    fatal(std::string(what) + ": " + kc->error);
}

static int cmdinfo(const CLIENTOPTIONS &opt)
{
    KCLIENT kc;
    connectto(&kc, opt);
    std::string version, protocol;
    KCMAPINFO info;
    if (kcversion(&kc, &version) < 0)
        lost(&kc, "version");
    if (kcprotocolversion(&kc, &protocol) < 0)
        lost(&kc, "protocol version");
    if (kcmapinfo(&kc, &info) < 0)
        lost(&kc, "map info");
    kcclose(&kc);
    std::printf("server version:   %s\n", version.c_str());
    std::printf("protocol version: %s\n", protocol.c_str());
    std::printf("map name:         %s\n", info.name.c_str());
    std::printf("map size:         %ld x %ld\n", info.xsize, info.ysize);
    return 0;
}

static int cmdplayers(const CLIENTOPTIONS &opt)
{
    KCLIENT kc;
    connectto(&kc, opt);
    std::vector<PLAYERINFO> players;
    if (kcgetplayerinfo(&kc, &players) < 0)
        lost(&kc, "player list");
    kcclose(&kc);
    std::printf("%4s  %-29s %6s %6s  %-11s %s\n", "num", "name", "health", "score", "position", "state");
    for (size_t i = 0; i < players.size(); i++) {
        const PLAYERINFO &p = players[i];
        char name[31];
        std::memcpy(name, p.name, 30);
        name[30] = '\0';
        for (char *c = name; *c; c++)
            if ((unsigned char)*c < 32 || *c == 127)
                *c = '?';
        char pos[32];
        std::snprintf(pos, sizeof pos, "%d,%d", (int)p.x, (int)p.y);
        std::printf("%4zu  %-29s %6d %6d  %-11s %s\n", i, name, (int)p.health, (int)p.score, pos,
                    p.num < 0 ? "left" : p.health <= 0 ? "dead" : "present");
    }
    if (players.empty())
        std::printf("(no players)\n");
    return 0;
}

// Fetches the whole picture of the game into *v through `kc`.
void fetchworld(KCLIENT *kc, WORLDVIEW *v)
{
    KCMAPINFO info;
    std::vector<FIRSTMAP> cells;
    if (kcmapinfo(kc, &info) < 0)
        lost(kc, "map info");
    if (kcgetallmap(kc, &cells) < 0)
        lost(kc, "map");
    if (!v->setall(info.xsize, info.ysize, cells))
        fatal("the server's map does not match its size " + std::to_string(info.xsize) + " x " +
              std::to_string(info.ysize));
    v->name = info.name;
    if (kcgetplayerinfo(kc, &v->players) < 0)
        lost(kc, "player list");
}

static int cmdsnapshot(const CLIENTOPTIONS &opt, const std::string &path, int scale)
{
    KCLIENT kc;
    connectto(&kc, opt);
    WORLDVIEW v;
    fetchworld(&kc, &v);
    kcclose(&kc);
    long big = std::max(v.w, v.h);
    if (scale == 0)
        scale = (int)std::max(1L, std::min(16L, big > 0 ? 600 / big : 1));
    if ((long long)v.w * scale > 30000 || (long long)v.h * scale > 30000)
        fatal("picture too large: lower --scale");
    std::string err = writepng(path, snapshotpicture(v, scale));
    if (!err.empty())
        fatal(err);
    return 0;
}

int main(int argc, char **argv)
{
    CLIENTOPTIONS opt;
    std::vector<std::string> args;
    bool help = false;
    int scale = 0;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--host" || a == "--port" || a == "--scale") {
            const char *v = optionvalue(argc, argv, i, fatal);
            if (a == "--host")
                opt.host = v;
            else if (a == "--port")
                opt.port = (int)wholenumber(v, "--port", 1, 65535, fatal);
            else
                scale = (int)wholenumber(v, "--scale", 1, 64, fatal);
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a.size() > 1 && a[0] == '-') {
            fatal("unknown option " + a + " (see kindler-client --help)");
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        std::fputs(usage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const std::string cmd = args[0];
    struct {
        const char *name;
        const char *usage;
        size_t nargs;
    } commands[] = {
        {"info", infousage, 0},   {"players", playersusage, 0},   {"play", playusage, 1},
        {"watch", watchusage, 0}, {"snapshot", snapshotusage, 1},
    };
    for (const auto &c : commands) {
        if (cmd != c.name)
            continue;
        if (help) {
            std::fputs(c.usage, stdout);
            return 0;
        }
        if (args.size() != c.nargs + 1)
            fatal(cmd + (c.nargs ? " needs one argument" : " takes no argument") + " (see kindler-client " + cmd +
                  " --help)");
        if (scale && cmd != "snapshot")
            fatal("--scale belongs to snapshot only");
        if (cmd == "info")
            return cmdinfo(opt);
        if (cmd == "players")
            return cmdplayers(opt);
        if (cmd == "snapshot")
            return cmdsnapshot(opt, args[1], scale);
        if (cmd == "play") {
            if (args[1].empty() || args[1].size() > 29)
                fatal("a player name has 1 to 29 characters");
            return playgame(opt, args[1].c_str());
        }
        return playgame(opt, nullptr);
    }
    if (help) {
        std::fputs(usage, stdout);
        return 0;
    }
    fatal("unknown command \"" + cmd + "\" (see kindler-client --help)");
}
