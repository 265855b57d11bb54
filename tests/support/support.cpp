// Test helpers: map loading from text, the server process, raw clients.
#include "support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tcp/connection.h"
#include "engine/buildworld.h"
#include "game/loadmap.h"
#include "tcp/session.h"
#include "game/player.h"

void resetall()
{
    resetworld(testgame.world);
    resetplayers(testgame.players);
}

MAPFILE readmaptext(const std::string &text)
{
    std::istringstream in(text);
    MAPFILE f;
    readmapfile(in, f);
    return f;
}

MAPFILE loadedmap;

void loadmaptext(const std::string &text)
{
    resetall();
    loadedmap = MAPFILE();
    std::istringstream in(text);
    readmapfile(in, loadedmap);
    makemap(loadedmap, testgame.world, nullptr);
    testgame.players.s_points = loadedmap.s_points;
}

std::string maprefusal(const std::string &text)
{
    try {
        loadmaptext(text);
    } catch (const MAPERROR &e) {
        return e.what();
    }
    return "(loaded)";
}

const UNITTYPE *typenum(int num)
{
    long i = findunittype(loadedmap, num);
    return i < 0 ? nullptr : &loadedmap.unittypelist[(size_t)i];
}

long numtypes() { return (long)loadedmap.unittypelist.size() - 1; }
const char *mapname() { return loadedmap.hasmapname ? loadedmap.mapname.c_str() : nullptr; }
int s_pointsnum() { return (int)loadedmap.s_points.size(); }

MAPUNIT cellno(size_t i)
{
    return getcell(testgame.world, (long)(i / (size_t)testgame.world.mapsizey), (long)(i % (size_t)testgame.world.mapsizey));
}

MAPUNIT plaincell(long double totalcal, long double cocon, long double calperc)
{
    MAPUNIT m;
    std::memset(&m, 0, sizeof m);
    m.totalcal = totalcal;
    m.cocon = cocon;
    m.calperc = calperc;
    return m;
}

void uniformworld(WORLD &w, long sizex, long sizey, const MAPUNIT &cell)
{
    allocworld(w, sizex, sizey);
    for (size_t i = 0; i < ncells(w); i++)
        setpubcell(w, i, cell);
    w.outside = cell;
}

size_t settledgroups(const WORLD &w)
{
    size_t n = 0;
    for (uint8_t g : w.settle.group)
        n += g;
    return n;
}

void forgetsettled(WORLD &w)
{
    pthread_mutex_lock(&w.oldmap_lock);
    w.settle.group.clear();
    pthread_mutex_unlock(&w.oldmap_lock);
}

PLAYERINFO playerentry(int i)
{
    PLAYERINFO p{};
    readplayer(testgame.players, i, p);
    return p;
}

int playercount()
{
    return (int)copyplayers(testgame.players).size();
}

void setplayerhealth(int i, int health)
{
    changeplayers(testgame.players, [&](PLAYERINFO *list, int) { list[i].health = health; });
}

void placeplayer(int i, int x, int y)
{
    changeplayers(testgame.players, [&](PLAYERINFO *list, int) {
        list[i].x = x;
        list[i].y = y;
    });
}

PLAYERFIELDS fieldsof(const PLAYERINFO &p)
{
    return {std::string(p.name, strnlen(p.name, sizeof p.name)), p.score, p.team, p.health, p.x, p.y, p.num};
}

std::ostream &operator<<(std::ostream &out, const PLAYERFIELDS &f)
{
    return out << "{name \"" << f.name << "\", score " << f.score << ", team " << f.team << ", health " << f.health
               << ", x " << f.x << ", y " << f.y << ", num " << f.num << "}";
}

void loadplayergrid(bool withstarts)
{
    loadmaptext(maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 ignitionpoint=900 </type>\n"
                        "<type name=floor num=1> temp=20 cocon=0 calperc=1 ignitionpoint=900 </type>",
                        {"111", "111", "111"}, withstarts ? "0,0 1,1 2,2" : ""));
}

long procstatus(pid_t pid, const std::string &key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size() + 1, key + ":") == 0)
            return std::stol(line.substr(key.size() + 1));
    return -1;
}

std::string serverpath() { return KINDLER_SERVER; }
std::string mapspath(const std::string &name) { return std::string(KINDLER_MAPS) + "/" + name; }

std::string tempfile(const std::string &text, const std::string &suffix)
{
    std::string tmpl = "/tmp/kindler-test-XXXXXX" + suffix;
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    int fd = mkstemps(buf.data(), (int)suffix.size());
    if (fd < 0)
        return "";
    size_t off = 0;
    while (off < text.size()) {
        ssize_t w = write(fd, text.data() + off, text.size() - off);
        if (w <= 0)
            break;
        off += (size_t)w;
    }
    close(fd);
    return buf.data();
}

std::string readfile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool portlistening()
{
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);
    while (std::getline(tcp, line)) {
        char local[64], remote[64], state[8];
        if (sscanf(line.c_str(), "%*d: %63s %63s %7s", local, remote, state) != 3)
            continue;
        const char *colon = strrchr(local, ':');
        if (colon && strcmp(colon + 1, "0C44") == 0 && strcmp(state, "0A") == 0)
            return true;
    }
    return false;
}

SERVERPROC::~SERVERPROC()
{
    stop();
    if (!outpath.empty())
        unlink(outpath.c_str());
    if (!errpath.empty())
        unlink(errpath.c_str());
}

bool SERVERPROC::start(const std::vector<std::string> &args)
{
    // Another server of an earlier test may still be releasing the port.
    for (int i = 0; i < 100 && portlistening(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    launch(args);
    for (int i = 0; i < 200; i++) {
        if (portlistening())
            return true;
        if (!running())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "server neither listened nor exited within 10 s";
    return false;
}

void SERVERPROC::launch(const std::vector<std::string> &args)
{
    sanitizerchecked = false;
    outpath = tempfile("", ".out");
    errpath = tempfile("", ".err");
    pid = fork();
    if (pid == 0) {
        int out = open(outpath.c_str(), O_WRONLY | O_TRUNC);
        int err = open(errpath.c_str(), O_WRONLY | O_TRUNC);
        dup2(out, 1);
        dup2(err, 2);
        if (nofile > 0) {
            struct rlimit files = {(rlim_t)nofile, (rlim_t)nofile};
            setrlimit(RLIMIT_NOFILE, &files);
        }
        if (fsize > 0) {
            struct rlimit size = {(rlim_t)fsize, (rlim_t)fsize};
            setrlimit(RLIMIT_FSIZE, &size);
        }
        std::vector<char *> argv;
        std::string path = serverpath();
        argv.push_back(path.data());
        // KINDLER_TEST_TICK=x87 (avx2, avx512) runs every server of the
        // tests on that tick path.
        std::string tick = std::string("--tick=") + (getenv("KINDLER_TEST_TICK") ? getenv("KINDLER_TEST_TICK") : "");
        if (getenv("KINDLER_TEST_TICK"))
            argv.push_back(tick.data());
        std::vector<std::string> copy = args;
        for (auto &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
}

bool SERVERPROC::running()
{
    if (pid <= 0 || status >= 0)
        return false;
    int st;
    pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid) {
        status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return false;
    }
    return true;
}

int SERVERPROC::wait(int timeout_ms)
{
    for (int waited = 0; waited <= timeout_ms; waited += 10) {
        if (!running())
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

void SERVERPROC::stop()
{
    if (running()) {
        kill(pid, SIGKILL);
        int st;
        waitpid(pid, &st, 0);
        status = 128 + SIGKILL;
    }
    checksanitizer();
}

void SERVERPROC::checksanitizer()
{
    // The server is ended by SIGKILL, so its exit status cannot carry a
    // sanitizer's verdict: a report in its standard error fails the test.
    if (sanitizerchecked || errpath.empty() || pid <= 0)
        return;
    sanitizerchecked = true;
    std::string text = err();
    if (text.find("Sanitizer") != std::string::npos || text.find("runtime error") != std::string::npos)
        ADD_FAILURE() << "sanitizer report in the server's standard error:\n" << text;
}

std::string SERVERPROC::out() const { return readfile(outpath); }
std::string SERVERPROC::err() const { return readfile(errpath); }

std::string maptext(const std::string &types, const std::vector<std::string> &rows, const std::string &start)
{
    std::string s = "<kindler version=\"0.2\">\n<unittypes>\n" + types + "\n</unittypes>\n";
    size_t width = rows.empty() ? 0 : rows[0].size();
    s += "<map name=\"test\" xsize=" + std::to_string(width) + " ysize=" + std::to_string(rows.size()) + ">\n";
    for (const auto &row : rows) {
        for (char c : row)
            s += std::string(1, c) + " ";
        s += "<r>\n";
    }
    s += "</map>\n";
    if (!start.empty())
        s += "<start>\n" + start + "\n</start>\n";
    s += "</kindler>\n";
    return s;
}

std::string wrapmap(const std::string &body) { return "<kindler version=\"0.2\">\n" + body + "\n</kindler>\n"; }
std::string unittypes(const std::string &types) { return "<unittypes>\n" + types + "</unittypes>\n"; }

std::string typeline(int num, const char *temp, const char *cocon, const char *calperc, const char *ignition,
                     const char *fuel, const char *burnspeed, const char *calperf)
{
    return std::string("<type name=t") + std::to_string(num) + " num=" + std::to_string(num) + ">\n temp=" + temp +
           " cocon=" + cocon + " calperc=" + calperc + " ignitionpoint=" + ignition + " fuellevel=" + fuel +
           " burnspeed=" + burnspeed + " calperf=" + calperf + "\n</type>\n";
}

const std::string OUTSIDETYPE = "<type name=outside num=0>\n"
                                "  temp=20 cocon=0.1 calperc=1 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0\n"
                                "</type>\n";
const std::string ROCKTYPE = "<type name=rock num=1>\n"
                             "  temp=20 cocon=0.05 calperc=3 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0 block\n"
                             "</type>\n";
const std::string GRASSTYPE = "<type name=grass num=2>\n"
                              "  temp=20 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 burnspeed=3 calperf=400\n"
                              "</type>\n";
const std::string NOOUTSIDE = "Error! No outside type defined in map. Quiting.\n";
const std::string RESTTYPES =
    "<type name=outside num=0> temp=20 cocon=0.3 calperc=1 </type>\n"
    "<type name=rock num=1> temp=20 cocon=0.05 calperc=3 ignitionpoint=900 block </type>\n"
    "<type name=grass num=2> temp=20 cocon=0.4 calperc=2 ignitionpoint=60 fuellevel=3 burnspeed=3 calperf=400 </type>\n"
    "<type name=wood num=3> temp=20 cocon=1.3 calperc=5 ignitionpoint=70 fuellevel=9 burnspeed=1 calperf=900 </type>\n";

void connectclient(KCLIENT *kc)
{
    int r = KC_ERROR;
    for (int i = 0; i < 50 && r != 0; i++) {
        r = kcconnect(kc, "127.0.0.1", KC_PORT, 10000);
        if (r != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(r, 0) << kc->error;
}

void connectandlogin(KCLIENT *kc, const std::string &name, int expected)
{
    ASSERT_NO_FATAL_FAILURE(connectclient(kc));
    int num = -2;
    ASSERT_EQ(kclogin(kc, name.c_str(), &num), 0) << kc->error;
    ASSERT_EQ(num, expected);
}

std::vector<unsigned char> playerrecord(const std::string &name, int num, int x, int y, int health, int score, int team)
{
    PLAYERINFO p;
    std::memset(&p, 0, sizeof p);
    std::memcpy(p.name, name.data(), std::min(name.size(), sizeof p.name));
    p.num = num;
    p.x = x;
    p.y = y;
    p.health = health;
    p.score = score;
    p.team = team;
    p.neto.type = NET_RECORD;
    std::vector<unsigned char> b(PLAYERINFO_SIZE);
    encodeplayerinfo(&p, b.data());
    stamprecord(b.data(), PLAYERINFO_SIZE);
    return b;
}

int rawexchange(KCLIENT *kc, const std::string &cmd, const std::vector<unsigned char> &bytes, int *answer)
{
    NETOVERHEAD neto;
    int r = kcsend(kc, cmd);
    if (r == 0)
        r = kcreadtrailer(kc, NET_READY, &neto);
    if (r == 0)
        r = kcsendbytes(kc, bytes.data(), bytes.size());
    if (r == 0 && bytes.size() == PLAYERINFO_SIZE) {
        r = kcreadtrailer(kc, NET_END, &neto);
        if (r == 0 && answer)
            *answer = neto.x;
    }
    return r;
}

FIRSTMAP firstmapof(const MAPUNIT &c, int x, int y, int type)
{
    return FIRSTMAP{c.totalcal, c.cocon, c.calperc, c.ignitionpoint, c.fuellevel, c.calperf, c.burnspeed, c.block, {x, y, 0, type}};
}

UPDATEMAP updatemapof(const MAPUNIT &c, int x, int y, int type) { return UPDATEMAP{c.totalcal, c.fuellevel, {x, y, 0, type}}; }

namespace {

// A field of a record R on the wire: its name, offset and member (an
// extended real or a 32-bit integer).
template <class R> struct FIELD {
    const char *name;
    size_t at;
    long double R::*ext;
    int32_t R::*i32;
};

const FIELD<FIRSTMAP> FIRSTMAPFIELDS[] = {
    {"totalcal", 0, &FIRSTMAP::totalcal, nullptr},   {"cocon", 12, &FIRSTMAP::cocon, nullptr},
    {"calperc", 24, &FIRSTMAP::calperc, nullptr},    {"ignitionpoint", 36, nullptr, &FIRSTMAP::ignitionpoint},
    {"fuellevel", 40, &FIRSTMAP::fuellevel, nullptr}, {"calperf", 52, &FIRSTMAP::calperf, nullptr},
    {"burnspeed", 64, &FIRSTMAP::burnspeed, nullptr}, {"block", 76, nullptr, &FIRSTMAP::block},
};
const FIELD<UPDATEMAP> UPDATEMAPFIELDS[] = {
    {"totalcal", 0, &UPDATEMAP::totalcal, nullptr},
    {"fuellevel", 12, &UPDATEMAP::fuellevel, nullptr},
};

template <class R, size_t N>
void expectfields(const unsigned char *rec, size_t size, const R &want, const FIELD<R> (&fields)[N])
{
    for (const FIELD<R> &f : fields) {
        if (f.ext) {
            unsigned char b[EXTENDED_SIZE];
            putext(b, want.*f.ext);
            EXPECT_EQ(0, std::memcmp(rec + f.at, b, EXTENDED_SIZE))
                << f.name << " is " << (double)getext(rec + f.at) << ", expected " << (double)(want.*f.ext);
        } else {
            EXPECT_EQ(get32(rec + f.at), want.*f.i32) << f.name;
        }
    }
    const unsigned char *trailer = rec + size - NETOVERHEAD_SIZE;
    EXPECT_EQ(get32(trailer), want.neto.x) << "x";
    EXPECT_EQ(get32(trailer + 4), want.neto.y) << "y";
    EXPECT_EQ(get32(trailer + 12), want.neto.type) << "type";
}

} // namespace

void expectrecordat(const unsigned char *rec, const FIRSTMAP &want) { expectfields(rec, FIRSTMAP_SIZE, want, FIRSTMAPFIELDS); }
void expectrecordat(const unsigned char *rec, const UPDATEMAP &want) { expectfields(rec, UPDATEMAP_SIZE, want, UPDATEMAPFIELDS); }

void loadprotocolmap(bool withstarts)
{
    loadmaptext(maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 ignitionpoint=900 </type>\n"
                        "<type name=moss num=1> temp=50 cocon=0.25 calperc=2 ignitionpoint=700 fuellevel=5 "
                        "burnspeed=1.5 calperf=10 </type>\n"
                        "<type name=slab num=2> temp=300 cocon=0.5 calperc=1 ignitionpoint=800 fuellevel=7 "
                        "burnspeed=2 calperf=20 block </type>",
                        {"121", "212"}, withstarts ? "1,0 2,1" : ""));
}

SESSION::SESSION()
{
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        ADD_FAILURE() << "socketpair failed";
    int s = fds[1];
    server = std::thread([s] { serveconnection(testport, s); });
    kc.sock = fds[0];
    kc.timeoutms = 5000;
}

void SESSION::end()
{
    if (kc.sock >= 0)
        close(kc.sock);
    kc.sock = -1;
    if (server.joinable())
        server.join();
}

void SESSION::sync()
{
    std::string v;
    ASSERT_EQ(kcversion(&kc, &v), 0) << kc.error;
    ASSERT_EQ(v, "0.100000");
}

std::string SESSION::recvbytes(size_t n)
{
    std::string s(n, '\0');
    EXPECT_EQ(kcrecv(&kc, s.data(), n), 0) << kc.error;
    return s;
}

int SESSION::login(const std::string &name)
{
    int num = -2;
    EXPECT_EQ(kclogin(&kc, name.c_str(), &num), 0) << kc.error;
    return num;
}
