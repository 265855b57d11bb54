// The player and operator tools run as programs: kindler-map (gen, check,
// png) and kindler-client (info, players, snapshot, play and watch)
// against the real server. `play` runs inside a private tmux server: keys
// go in with send-keys and the screen comes back with capture-pane.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "game/loadmap.h"
#include "kindlerclient.h"
#include "app/loop.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "support.h"
#include "engine/world.h"

namespace {

struct RESULT {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

// Runs `argv` with stdin from /dev/null; kills it after 20 s.
RESULT run(const std::vector<std::string> &argv)
{
    RESULT r;
    std::string outpath = tempfile("", ".out"), errpath = tempfile("", ".err");
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outpath.c_str(), O_WRONLY | O_TRUNC);
        int err = open(errpath.c_str(), O_WRONLY | O_TRUNC);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> args;
        std::vector<std::string> copy = argv;
        for (auto &a : copy)
            args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    for (int i = 0; i < 400; i++) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (r.status < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << argv[0] << " did not end within 20 s";
    }
    r.out = readfile(outpath);
    r.err = readfile(errpath);
    unlink(outpath.c_str());
    unlink(errpath.c_str());
    return r;
}

RESULT mapt(const std::vector<std::string> &args)
{
    std::vector<std::string> argv{KINDLER_MAP_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

RESULT client(const std::vector<std::string> &args)
{
    std::vector<std::string> argv{KINDLER_CLIENT_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

// Waits up to `ms` for `cond`; true once it holds.
bool eventually(const std::function<bool()> &cond, int ms = 5000)
{
    for (int waited = 0; waited <= ms; waited += 50) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

struct PNGDATA {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb; // three bytes per pixel
};

// Reads an 8-bit RGB PNG; w stays 0 when the file is no such PNG.
PNGDATA readpng(const std::string &path)
{
    PNGDATA d;
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str()))
        return d;
    img.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> buf(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) {
        png_image_free(&img);
        return d;
    }
    d.w = (int)img.width;
    d.h = (int)img.height;
    d.rgb.swap(buf);
    return d;
}

// Temperature of cell (x, y) as the server publishes it.
double celltemp(int x, int y)
{
    KCLIENT kc;
    KCMAPINFO info;
    std::vector<FIRSTMAP> cells;
    if (kcconnect(&kc) < 0 || kcmapinfo(&kc, &info) < 0 || kcgetallmap(&kc, &cells) < 0) {
        ADD_FAILURE() << "getallmap: " << kc.error;
        return -1;
    }
    kcclose(&kc);
    const FIRSTMAP &c = cells[(size_t)x * (size_t)info.ysize + (size_t)y];
    return (double)(c.totalcal / c.calperc);
}

std::vector<PLAYERINFO> players()
{
    KCLIENT kc;
    std::vector<PLAYERINFO> list;
    if (kcconnect(&kc) < 0 || kcgetplayerinfo(&kc, &list) < 0)
        ADD_FAILURE() << "getplayerinfo: " << kc.error;
    kcclose(&kc);
    return list;
}

// Outside, grass that never ignites, and a cell kept at 1000 K (a heat
// capacity so large that nothing cools it within a test).
const std::string PLAYTYPES = "<type name=outside num=0> temp=290 cocon=0.1 calperc=1 ignitionpoint=9999 </type>\n"
                              "<type name=grass num=2> temp=290 cocon=0.2 calperc=2 ignitionpoint=9999 </type>\n"
                              "<type name=lava num=3> temp=1000 cocon=0.001 calperc=100000 ignitionpoint=99999 </type>\n"
                              "<type name=rock num=4> temp=290 cocon=0.1 calperc=3 ignitionpoint=9999 block </type>";
// 30 x 12: the first login starts at 5,5 next to rock at 4,5; the second
// starts on the hot cell at 20,6.
std::string playmap()
{
    std::vector<std::string> rows(12, std::string(30, '2'));
    rows[5][4] = '4';
    rows[6][20] = '3';
    return tempfile(maptext(PLAYTYPES, rows, "5,5 20,6"));
}

// A tmux server of our own (its own socket) with one session running a
// shell in a 120 x 40 window.
struct TMUX {
    std::string sock = "kindler-test-" + std::to_string(getpid());
    std::string session;
    explicit TMUX(const std::string &name, const std::string &term = "tmux-256color") : session(name)
    {
        tmux({"new-session", "-d", "-s", session, "-x", "120", "-y", "40", "env", "LANG=C.UTF-8", "TERM=" + term,
              "PS1=$ ", "sh"});
    }
    ~TMUX() { tmux({"kill-session", "-t", session}); }
    RESULT tmux(const std::vector<std::string> &args) const
    {
        std::vector<std::string> argv{"/usr/bin/tmux", "-L", sock};
        argv.insert(argv.end(), args.begin(), args.end());
        return run(argv);
    }
    void keys(const std::vector<std::string> &k) const
    {
        std::vector<std::string> args{"send-keys", "-t", session};
        args.insert(args.end(), k.begin(), k.end());
        tmux(args);
    }
    void type(const std::string &line) const
    {
        keys({"-l", line});
        keys({"Enter"});
    }
    std::string screen() const { return tmux({"capture-pane", "-p", "-t", session}).out; }
    // Waits for `text` on the screen; false (with the screen in the log) if it never comes.
    bool shows(const std::string &text, int ms = 8000) const
    {
        bool ok = eventually([&] { return screen().find(text) != std::string::npos; }, ms);
        if (!ok)
            ADD_FAILURE() << "screen never showed \"" << text << "\":\n" << screen();
        return ok;
    }
};

// Line `n` (from 0) of a captured screen.
std::string screenline(const std::string &screen, int n)
{
    size_t at = 0;
    for (int i = 0; i < n && at != std::string::npos; i++)
        at = screen.find('\n', at) == std::string::npos ? std::string::npos : screen.find('\n', at) + 1;
    if (at == std::string::npos)
        return "";
    return screen.substr(at, screen.find('\n', at) - at);
}

std::string clientcmd(const std::string &args)
{
    return std::string(KINDLER_CLIENT_TOOL) + " " + args + "; echo client-exited-$?";
}

// ---- kindler-map ----------------------------------------------------------

TEST(MapTool, GenIsDeterministicPerNumberAndKeepsTokensShort)
{
    RESULT a = mapt({"gen", "64", "40", "--seed", "77", "--players", "5"});
    RESULT b = mapt({"gen", "64", "40", "--seed", "77", "--players", "5"});
    RESULT c = mapt({"gen", "64", "40", "--seed", "78", "--players", "5"});
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_NE(a.out, c.out);
    size_t longest = 0, start = std::string::npos;
    for (size_t i = 0; i <= a.out.size(); i++) {
        bool space = i == a.out.size() || std::isspace((unsigned char)a.out[i]);
        if (!space && start == std::string::npos)
            start = i;
        if (space && start != std::string::npos) {
            longest = std::max(longest, i - start);
            start = std::string::npos;
        }
    }
    EXPECT_LE(longest, 24u);
    // Every kind of ground appears on a map this size.
    std::string block = a.out.substr(a.out.find("ysize=40>"), a.out.find("</map>") - a.out.find("ysize=40>"));
    for (char t : {'1', '2', '3', '4', '5'})
        EXPECT_NE(block.find(std::string(" ") + t + " "), std::string::npos) << "type " << t;
}

TEST(MapTool, GenOutputPassesCheckWithASummary)
{
    std::string path = tempfile("");
    RESULT g = mapt({"gen", "50", "30", "--seed", "3", "--players", "3", "-o", path});
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(g.out, "");
    RESULT r = mapt({"check", path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("size: 50 x 30 cells"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("start positions: 3"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Decoding map"), std::string::npos) << "the reader's progress leaked: " << r.out;
    // The per-type cell counts cover the whole grid.
    long total = 0;
    for (const char *name : {"outside", "water", "rock", "grass", "brush", "forest"}) {
        size_t at = r.out.find(std::string(name) + " ");
        ASSERT_NE(at, std::string::npos) << name << " missing:\n" << r.out;
        total += std::atol(r.out.c_str() + r.out.find_first_not_of(' ', at + std::strlen(name)));
    }
    EXPECT_EQ(total, 50 * 30) << r.out;
}

TEST(MapTool, GenOutputLoadsInTheServer)
{
    std::string path = tempfile("");
    ASSERT_EQ(mapt({"gen", "70", "25", "--seed", "11", "-o", path}).status, 0);
    SERVERPROC server;
    ASSERT_TRUE(server.start({path}));
    EXPECT_TRUE(server.running()) << server.err();
    EXPECT_TRUE(portlistening());
    EXPECT_EQ(server.out(), "Loading " + path + "\nDecoding map...\nAllocated curmap\nAllocated oldmap\nSetting up map" +
                                std::string(70, '.') + "\n");
    EXPECT_EQ(server.err(), "");
    RESULT info = client({"info"});
    EXPECT_NE(info.out.find("map size:         70 x 25"), std::string::npos) << info.out;
}

TEST(MapTool, CheckRejectsBrokenMapsWithTheServersOwnMessage)
{
    const std::string types = "<type name=outside num=0> temp=20 calperc=1 </type>\n"
                              "<type name=grass num=2> temp=20 calperc=2 ignitionpoint=250 fuellevel=30 </type>";
    std::string good = maptext(types, {"22", "22"}, "0,0");
    struct CASE {
        const char *what;
        std::string text;
        const char *message;
    } cases[] = {
        {"wrong version", std::string(good).replace(good.find("0.2"), 3, "0.3"),
         "Error! File is version 0.300000 but we want 0.200000.\n"},
        {"invalid unit type", maptext(types, {"22", "27"}, "0,0"), "Error! Invalid unittype in map! unittype = 7\n"},
        {"no outside type", maptext("<type name=grass num=2> temp=20 calperc=2 </type>", {"22", "22"}, "0,0"),
         "Error! No outside type defined in map. Quiting.\n"},
        {"token too long", maptext(types, {"22", "22"}, "0,0").replace(good.find("</unittypes>"), 0,
                                                                       "abcdefghijklmnopqrstuvwxyz\n"),
         "Error! Token longer than 24 characters: \"abcdefghijklmnopqrstuvwx...\"\n"},
    };
    ASSERT_EQ(mapt({"check", tempfile(good)}).status, 0);
    for (const CASE &c : cases) {
        std::string path = tempfile(c.text);
        RESULT r = mapt({"check", path});
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.err, c.message) << c.what;
        EXPECT_EQ(r.out, "") << c.what;
        // The server itself refuses the file with the very same line.
        SERVERPROC server;
        ASSERT_TRUE(server.start({path}));
        EXPECT_EQ(server.wait(5000), 1) << c.what;
        EXPECT_EQ(server.err(), r.err) << c.what;
    }
}

TEST(MapTool, ErrorsAreOneLineWithNonZeroStatusAndEveryCommandHasHelp)
{
    for (const auto &args : std::vector<std::vector<std::string>>{{"check", "/nonexistent/x.map"},
                                                                   {"gen", "0", "5"},
                                                                   {"gen", "5"},
                                                                   {"gen", "5", "5", "--players", "x"},
                                                                   {"png", tempfile("")},
                                                                   {"frobnicate"}}) {
        RESULT r = mapt(args);
        EXPECT_NE(r.status, 0) << args[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("kindler-map: ", 0), 0u) << r.err;
    }
    for (const char *cmd : {"gen", "check", "png"}) {
        RESULT r = mapt({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_EQ(r.out.rfind(std::string("Usage: kindler-map ") + cmd, 0), 0u) << r.out;
    }
    RESULT r = mapt({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("check FILE"), std::string::npos);
}

TEST(MapTool, PngIsTheMapTimesTheScale)
{
    std::string map = tempfile(""), png = tempfile("", ".png");
    ASSERT_EQ(mapt({"gen", "40", "20", "-o", map}).status, 0);
    RESULT r = mapt({"png", map, png, "--scale", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    PNGDATA d = readpng(png);
    EXPECT_EQ(d.w, 120);
    EXPECT_EQ(d.h, 60);
    RESULT bad = mapt({"png", tempfile("<kindler version=\"0.7\">"), png});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Error! File is version 0.700000 but we want 0.200000.\n");
}

// Index of the unit type of f called `name`, or -1.
long typenamed(const MAPFILE &f, const char *name)
{
    for (size_t i = 0; i < f.unittypelist.size(); i++)
        if (f.unittypelist[i].named && f.unittypelist[i].name == name)
            return (long)i;
    return -1;
}

// True when the published cell at (x, y) has the properties of type `t`.
bool celloftype(long x, long y, const UNITTYPE &t)
{
    if (!onmap(testgame.world, x, y))
        return false;
    MAPUNIT c = getcell(testgame.world, x, y);
    return c.cocon == t.cocon && c.calperc == t.calperc && c.ignitionpoint == t.ignitionpoint &&
           c.calperf == t.calperf && c.burnspeed == t.burnspeed && c.block == t.block;
}

// A generated map, loaded in this process: two fires on a grass cell with
// grass all around must not just burn that cell out but spread to its
// neighbours within half a minute of simulated time, and further still.
TEST(MapTool, GenGrassFireSpreadsToTheNeighbours)
{
    for (const char *number : {"5", "12345"}) {
        RESULT g = mapt({"gen", "64", "40", "--seed", number});
        ASSERT_EQ(g.status, 0) << g.err;
        loadmaptext(g.out);
        const MAPFILE f = readmaptext(g.out);
        long grass = typenamed(f, "grass");
        ASSERT_GE(grass, 0) << number;
        const UNITTYPE gt = f.unittypelist[(size_t)grass];
        ASSERT_GT(gt.fuellevel, 0) << number;
        // The first grass cell (x, then y) whose 5 x 5 neighbourhood is grass.
        long fx = -1, fy = -1;
        for (long x = 2; x < testgame.world.mapsizex - 2 && fx < 0; x++)
            for (long y = 2; y < testgame.world.mapsizey - 2 && fx < 0; y++) {
                bool all = true;
                for (long dx = -2; dx <= 2 && all; dx++)
                    for (long dy = -2; dy <= 2 && all; dy++)
                        all = celloftype(x + dx, y + dy, gt);
                if (all) {
                    fx = x;
                    fy = y;
                }
            }
        ASSERT_GE(fx, 0) << "no grass field on map " << number;
        std::vector<long double> fuel(ncells(testgame.world));
        for (long x = 0; x < testgame.world.mapsizex; x++)
            for (long y = 0; y < testgame.world.mapsizey; y++)
                fuel[(size_t)cellindex(testgame.world, x, y)] = getcell(testgame.world, x, y).fuellevel;
        addfire(testgame.world, fx, fy, 1);
        addfire(testgame.world, fx, fy, 1);
        long ticks = std::lround(25.0 / updateinterval); // 25 s of play
        for (long t = 0; t < ticks; t++)
            dophys(testgame.world, testgame.tick);
        long burnt = 0, ring = 0, far = 0;
        for (long x = 0; x < testgame.world.mapsizex; x++)
            for (long y = 0; y < testgame.world.mapsizey; y++) {
                if (!(getcell(testgame.world, x, y).fuellevel < fuel[(size_t)cellindex(testgame.world, x, y)]))
                    continue;
                burnt++;
                long d = std::max(std::labs(x - fx), std::labs(y - fy));
                if (d == 1)
                    ring++;
                if (d >= 2)
                    far++;
            }
        EXPECT_EQ(getcell(testgame.world, fx, fy).fuellevel, 0) << "the lit cell burns out, map " << number;
        EXPECT_EQ(ring, 8) << "every neighbour caught, map " << number;
        EXPECT_GT(far, 0) << "the fire went on past the neighbours, map " << number << " (fire at " << fx << ","
                          << fy << ", " << burnt << " cells burnt)";
    }
    resetall();
}

// ---- kindler-client -------------------------------------------------------

TEST(ClientTool, InfoPrintsVersionsNameAndSize)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({mapspath("meadow.map")}));
    RESULT r = client({"info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "server version:   0.100000\n"
                     "protocol version: 0.100000\n"
                     "map name:         meadow\"\n"
                     "map size:         4 x 3\n");
}

TEST(ClientTool, PlayersTableShowsPresentAndLeft)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({mapspath("meadow.map")}));
    KCLIENT ann, bob;
    int a = -1, b = -1;
    ASSERT_EQ(kcconnect(&ann), 0);
    ASSERT_EQ(kcconnect(&bob), 0);
    ASSERT_EQ(kclogin(&ann, "ann", &a), 0);
    ASSERT_EQ(kclogin(&bob, "bob", &b), 0);
    ASSERT_EQ(kcmove(&bob, b, 2, 2), 0);
    kcclose(&bob);
    ASSERT_TRUE(eventually([] { return players().size() == 2 && players()[1].num == -1; }));
    RESULT r = client({"players"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, " num  name                          health  score  position    state\n"
                     "   0  ann                              100      0  1,1         present\n"
                     "   1  bob                              100      0  2,2         left\n");
    kcclose(&ann);
}

TEST(ClientTool, ErrorsAreOneLineWithNonZeroStatusAndEveryCommandHasHelp)
{
    // No server listens here: a clear line, status 1.
    RESULT r = client({"--port", "1", "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("kindler-client: cannot connect to 127.0.0.1:1: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"play"}, {"snapshot"}, {"info", "extra"}, {"--port", "x", "info"}, {"dance"}}) {
        RESULT e = client(args);
        EXPECT_NE(e.status, 0) << args[0];
        EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 1) << e.err;
    }
    for (const char *cmd : {"info", "players", "play", "watch", "snapshot"}) {
        RESULT h = client({cmd, "--help"});
        EXPECT_EQ(h.status, 0) << cmd;
        EXPECT_EQ(h.out.rfind(std::string("Usage: kindler-client ") + cmd, 0), 0u) << h.out;
    }
}

TEST(ClientTool, SnapshotHasTheMapSizeAndChangesAfterAFire)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({playmap()}));
    std::string first = tempfile("", ".png"), second = tempfile("", ".png");
    RESULT r = client({"snapshot", first, "--scale", "12"});
    ASSERT_EQ(r.status, 0) << r.err;
    PNGDATA a = readpng(first);
    EXPECT_EQ(a.w, 30 * 12);
    EXPECT_EQ(a.h, 12 * 12 + 34); // the map, then the legend
    // Two snapshots of a quiet world are the same picture.
    ASSERT_EQ(client({"snapshot", second, "--scale", "12"}).status, 0);
    EXPECT_EQ(readpng(second).rgb, a.rgb);

    KCLIENT kc;
    int me = -1;
    ASSERT_EQ(kcconnect(&kc), 0);
    ASSERT_EQ(kclogin(&kc, "firebug", &me), 0);
    ASSERT_EQ(kcmove(&kc, me, 10, 3), 0);
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(kcsetfire(&kc), 0);
    ASSERT_TRUE(eventually([] { return celltemp(10, 3) > 400; }));
    ASSERT_EQ(client({"snapshot", second, "--scale", "12"}).status, 0);
    PNGDATA b = readpng(second);
    ASSERT_EQ(b.w, a.w);
    ASSERT_EQ(b.h, a.h);
    auto pixel = [](const PNGDATA &d, int x, int y) {
        const unsigned char *p = &d.rgb[((size_t)y * d.w + x) * 3];
        return std::vector<unsigned char>(p, p + 3);
    };
    // The hot cell changed colour; a far corner did not.
    EXPECT_NE(pixel(a, 10 * 12 + 6, 3 * 12 + 6), pixel(b, 10 * 12 + 6, 3 * 12 + 6));
    EXPECT_EQ(pixel(a, 29 * 12 + 6, 11 * 12 + 6), pixel(b, 29 * 12 + 6, 11 * 12 + 6));
    kcclose(&kc);
}

TEST(ClientTool, PlayMovesFiresAndQuitsCleanlyInATerminal)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({playmap()}));
    TMUX t("play");
    t.type(clientcmd("play alice"));
    ASSERT_TRUE(t.shows("alice #0  health 100"));
    EXPECT_TRUE(t.shows("at 5,5"));
    std::string screen = t.screen();
    EXPECT_NE(screen.find("\u2580"), std::string::npos) << screen; // the half-block picture
    EXPECT_EQ(screenline(screen, 2).rfind("\u2580\u2580\u2580\u2580\u2580@", 0), 0u) << screen;

    // An arrow key moves the player on the server.
    t.keys({"Right"});
    EXPECT_TRUE(eventually([] { auto p = players(); return p.size() == 1 && p[0].x == 6 && p[0].y == 5; }));
    t.keys({"s"});
    EXPECT_TRUE(eventually([] { auto p = players(); return p.size() == 1 && p[0].x == 6 && p[0].y == 6; }));
    EXPECT_TRUE(t.shows("at 6,6"));
    // Rock at 4,5 blocks: two steps left from 6,5 end at 5,5.
    t.keys({"Up", "Left", "Left"});
    EXPECT_TRUE(t.shows("blocked"));
    EXPECT_TRUE(eventually([] { auto p = players(); return p.size() == 1 && p[0].x == 5 && p[0].y == 5; }));

    // Space sets a fire: the cell under the player heats up.
    double before = celltemp(5, 5);
    t.keys({"Space"});
    EXPECT_TRUE(eventually([&] { return celltemp(5, 5) > before + 10; })) << before;

    // q quits: the server marks the player as left, the shell is back.
    t.keys({"q"});
    EXPECT_TRUE(t.shows("client-exited-0"));
    EXPECT_TRUE(eventually([] { auto p = players(); return p.size() == 1 && p[0].num == -1; }));
    t.type("echo restored-$((6*7))");
    EXPECT_TRUE(t.shows("restored-42"));
    EXPECT_NE(t.screen().find("$ echo restored-$((6*7))"), std::string::npos) << "typing is not echoed:\n"
                                                                             << t.screen();
}

TEST(ClientTool, PlayShowsDeathAndCtrlCRestoresTheTerminalWithEightColours)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({playmap()}));
    // The first start position goes to a silent player; ours is on the hot cell.
    KCLIENT first;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&first, "first"));
    TMUX t("death", "screen");
    t.type(clientcmd("play bob"));
    EXPECT_TRUE(t.shows("YOU ARE DEAD"));
    EXPECT_TRUE(t.shows("under you 1000 K"));
    t.keys({"Right"}); // the dead do not move
    EXPECT_TRUE(t.shows("the dead do not move"));
    t.keys({"C-c"});
    EXPECT_TRUE(t.shows("client-exited-130"));
    EXPECT_TRUE(eventually([] { auto p = players(); return p.size() == 2 && p[1].num == -1; }));
    auto p = players();
    EXPECT_EQ(p[1].x, 20);
    t.type("echo restored-$((6*7))");
    EXPECT_TRUE(t.shows("restored-42"));
    kcclose(&first);
}

TEST(ClientTool, WatchShowsThePlayersWithoutLoggingIn)
{
    SERVERPROC server;
    ASSERT_TRUE(server.start({playmap()}));
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectandlogin(&kc, "ann"));
    TMUX t("watch");
    t.type(clientcmd("watch"));
    EXPECT_TRUE(t.shows("watching test\"  30 x 12  players 1"));
    // Ann at 5,5: the sixth character of the third line (cells y 4 and 5).
    std::string screen = t.screen();
    EXPECT_EQ(screenline(screen, 2).rfind("\u2580\u2580\u2580\u2580\u2580" "0", 0), 0u) << screen;
    t.keys({"q"});
    EXPECT_TRUE(t.shows("client-exited-0"));
    EXPECT_EQ(players().size(), 1u);
    kcclose(&kc);
}

} // namespace

TEST(MapTool, GenTerrainSharesAndNameShapeTheMap)
{
    RESULT plain = mapt({"gen", "40", "20", "--name", "lawn", "--water", "0", "--rock", "0", "--forest", "0", "--brush",
                         "0"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("<map name=\"lawn\" xsize=40 ysize=20>"), std::string::npos);
    const std::string grid = plain.out.substr(plain.out.find("ysize=20>"), plain.out.find("</map>") - plain.out.find("ysize=20>"));
    for (char t : {'1', '2', '4', '5'})
        EXPECT_EQ(grid.find(std::string(" ") + t + " "), std::string::npos) << "type " << t;
    RESULT ridged = mapt({"gen", "80", "50", "--rock", "0", "--ridges", "20"});
    ASSERT_EQ(ridged.status, 0) << ridged.err;
    const std::string g2 = ridged.out.substr(ridged.out.find("ysize=50>"));
    const size_t rock = (size_t)std::count(g2.begin(), g2.end(), '2');
    EXPECT_GT(rock, 80u * 50 * 15 / 100); // a fifth of the cells, give or take the start rows
    EXPECT_NE(mapt({"gen", "8", "8", "--name", "a\"b"}).status, 0);
    EXPECT_NE(mapt({"gen", "8", "8", "--water", "101"}).status, 0);
}
