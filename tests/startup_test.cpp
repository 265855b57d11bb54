// Start-up of the real kindler-server binary: the progress lines, the map
// named by the last word, the files it refuses (exit status 1 with one
// line on stderr, before the port is bound), the port already taken, a
// restart right after a kill, and progress reaching a pipe at once.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support.h"

namespace {

// The progress lines of a map that loads, with one dot per column.
std::string progress(const std::string &path, int columns)
{
    return "Loading " + path + "\nDecoding map...\nAllocated curmap\nAllocated oldmap\nSetting up map" +
           std::string((size_t)columns, '.') + "\n";
}

// The lines before "Setting up map" of a load that got that far.
std::string upto(const std::string &path)
{
    return "Loading " + path + "\nDecoding map...\nAllocated curmap\nAllocated oldmap\nSetting up map";
}

const std::string TYPES =
    "<unittypes>\n"
    "<type name=outside num=0> temp=20 cocon=0.1 calperc=1 ignitionpoint=900 </type>\n"
    "<type name=grass num=2> temp=20 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 burnspeed=3 calperf=400 </type>\n"
    "<type name=void num=4> temp=20 cocon=0.2 </type>\n"
    "</unittypes>\n";

std::string file(const std::string &types, const std::string &map)
{
    return "<kindler version=\"0.2\">\n" + types + map + "\n<start> 0,0 </start>\n</kindler>\n";
}

// A server run on a map file written from `text`, expected to end by itself.
struct REFUSED {
    std::string path;
    int status = -1;
    std::string out, err;
    bool listening = false; // port 3140 listening right after the exit
};

REFUSED refused(const std::string &text)
{
    REFUSED r;
    r.path = tempfile(text);
    SERVERPROC s;
    s.start({r.path});
    r.status = s.wait(10000);
    r.listening = portlistening();
    r.out = s.out();
    r.err = s.err();
    unlink(r.path.c_str());
    return r;
}

// Sends `cmd` and reads exactly `len` bytes of answer.
std::string ask(int fd, const std::string &cmd, size_t len)
{
    if (!sendstr(fd, cmd))
        return "(send failed)";
    std::string got(len, '\0');
    if (!recvall(fd, got.data(), len))
        return "(no answer)";
    return got;
}

void closeonexec(int fd) { fcntl(fd, F_SETFD, FD_CLOEXEC); }

// A socket of our own bound to 0.0.0.0:3140 and listening, or -1. It
// allows address reuse, as the server does, so that connections of earlier
// servers still closing do not stop it; a listening socket holds the port
// against the server all the same.
int holdport()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(3140);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, (struct sockaddr *)&addr, sizeof addr) < 0 || listen(fd, 1) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

// ---------------------------------------------------------------------------
// A map that loads.

TEST(StartupMeadow, PrintsTheProgressLinesAndAcceptsAClient)
{
    // Run from the source tree so the path reads as a user types it.
    char saved[PATH_MAX];
    ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
    ASSERT_EQ(0, chdir((mapspath("") + "..").c_str()));
    SERVERPROC s;
    bool started = s.start({"maps/meadow.map"});
    ASSERT_EQ(0, chdir(saved));
    ASSERT_TRUE(started);
    ASSERT_TRUE(s.running()) << s.err();
    // The lines are in the file while the server still runs: nothing waits
    // in a buffer for an exit that never comes.
    EXPECT_EQ("Loading maps/meadow.map\nDecoding map...\nAllocated curmap\nAllocated oldmap\nSetting up map....\n",
              s.out());
    EXPECT_EQ("", s.err());
    EXPECT_TRUE(portlistening());
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    EXPECT_EQ("4 3 \"meadow\"\"", ask(fd, "getmapinfo;", 13));
    close(fd);
    EXPECT_TRUE(s.running());
}

TEST(StartupMeadow, ProgressReachesAPipeWhileTheServerRuns)
{
    int p[2];
    ASSERT_EQ(0, pipe2(p, O_CLOEXEC));
    std::string map = mapspath("meadow.map");
    std::string path = serverpath();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(p[1], 1);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 2);
        execl(path.c_str(), path.c_str(), map.c_str(), (char *)nullptr);
        _exit(127);
    }
    close(p[1]);
    std::string want = progress(map, 4);
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < want.size() && std::chrono::steady_clock::now() < deadline) {
        struct pollfd pf = {p[0], POLLIN, 0};
        if (poll(&pf, 1, 100) <= 0)
            continue;
        char buf[256];
        ssize_t r = read(p[0], buf, sizeof buf);
        if (r <= 0)
            break;
        got.append(buf, (size_t)r);
    }
    int st;
    bool stillrunning = waitpid(pid, &st, WNOHANG) == 0;
    kill(pid, SIGKILL);
    waitpid(pid, &st, 0);
    close(p[0]);
    EXPECT_EQ(want, got);
    EXPECT_TRUE(stillrunning);
}

// ---------------------------------------------------------------------------
// Files refused: one line on stderr, exit status 1, the port never bound.

TEST(StartupRefused, WrongVersionPrintsOnlyTheLoadingLine)
{
    REFUSED r = refused("<kindler version=\"0.1\">\n" + TYPES + "</kindler>\n");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Loading " + r.path + "\n", r.out);
    EXPECT_EQ("Error! File is version 0.100000 but we want 0.200000.\n", r.err);
    EXPECT_FALSE(r.listening);
}

TEST(StartupRefused, InvalidUnittypeAfterTheDotsOfTheColumnsBegun)
{
    // The 5 is in column 2 of 4: three dots, then the error.
    REFUSED r = refused(file(TYPES, "<map name=\"m\" xsize=4 ysize=2> 2 2 2 2 <r> 2 2 5 2 <r> </map>"));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(upto(r.path) + "...", r.out);
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 5\n", r.err);
    EXPECT_FALSE(r.listening);
}

TEST(StartupRefused, MissingOutsideTypeAfterTheWholeGrid)
{
    std::string types = "<unittypes>\n<type name=grass num=2> temp=20 calperc=2 </type>\n</unittypes>\n";
    REFUSED r = refused(file(types, "<map name=\"m\" xsize=3 ysize=2> 2 2 2 <r> 2 2 2 <r> </map>"));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(progress(r.path, 3), r.out);
    EXPECT_EQ("Error! No outside type defined in map. Quiting.\n", r.err);
    EXPECT_FALSE(r.listening);
}

TEST(StartupRefused, FileWithoutRootTagRunsThroughAnEmptyGrid)
{
    REFUSED r = refused(TYPES + "<map name=\"m\" xsize=1 ysize=1> 2 </map>\n");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(progress(r.path, 0), r.out);
    EXPECT_EQ("Error! No outside type defined in map. Quiting.\n", r.err);
    EXPECT_FALSE(r.listening);
}

TEST(StartupRefused, TokenLongerThanTwentyFourCharacters)
{
    REFUSED r = refused(file(TYPES, "<map name=\"averyveryverylongmapname\" xsize=1 ysize=1> 2 </map>"));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Loading " + r.path + "\n", r.out);
    EXPECT_EQ("Error! Token longer than 24 characters: \"name=\"averyveryverylongm...\"\n", r.err);
    EXPECT_FALSE(r.listening);
}

TEST(StartupRefused, MalformedMapBlock)
{
    REFUSED shortrow = refused(file(TYPES, "<map name=\"m\" xsize=4 ysize=2> 2 2 2 2 <r> 2 2 2 <r> </map>"));
    EXPECT_EQ(1, shortrow.status);
    EXPECT_EQ("Loading " + shortrow.path + "\n", shortrow.out);
    EXPECT_EQ("Error! Map row 1 has 3 values but xsize is 4.\n", shortrow.err);
    EXPECT_FALSE(shortrow.listening);

    REFUSED noblock = refused(file(TYPES, "<map name=\"m\" xsize=2 ysize=2>\n</map>"));
    EXPECT_EQ(1, noblock.status);
    EXPECT_EQ("Loading " + noblock.path + "\n", noblock.out);
    EXPECT_EQ("Error! The map header declares 2 x 2 cells but the file has no map block.\n", noblock.err);

    REFUSED tooshort = refused(file(TYPES, "<map name=\"m\" xsize=2 ysize=3> 2 2 <r> 2 2 </map>"));
    EXPECT_EQ(1, tooshort.status);
    EXPECT_EQ("Error! Map block ends at row 1, column 2, before all 2 x 3 cells were given.\n", tooshort.err);
}

TEST(StartupRefused, CalpercZeroOfAUsedTypeOrOfTheOutsideType)
{
    REFUSED used = refused(file(TYPES, "<map name=\"m\" xsize=3 ysize=1> 2 4 2 </map>"));
    EXPECT_EQ(1, used.status);
    EXPECT_EQ(progress(used.path, 3), used.out); // refused after the whole grid
    EXPECT_EQ("Error! Unit type 4 has calperc 0: its cells would have no temperature.\n", used.err);
    EXPECT_FALSE(used.listening);

    std::string types = "<unittypes>\n<type name=outside num=0> temp=20 </type>\n"
                        "<type name=grass num=2> temp=20 calperc=2 </type>\n</unittypes>\n";
    REFUSED outsidezero = refused(file(types, "<map name=\"m\" xsize=2 ysize=1> 2 2 </map>"));
    EXPECT_EQ(1, outsidezero.status);
    EXPECT_EQ(progress(outsidezero.path, 2), outsidezero.out);
    EXPECT_EQ("Error! Unit type 0 (outside) has calperc 0: the surroundings would have no temperature.\n",
              outsidezero.err);
}

TEST(StartupRefused, MapIsRefusedBeforeThePortIsBound)
{
    // With 3140 taken, a server that bound before loading would say "bind".
    int held = holdport();
    ASSERT_GE(held, 0) << strerror(errno);
    std::string path = tempfile("<kindler version=\"0.1\">\n</kindler>\n");
    SERVERPROC s;
    s.launch({path});
    int status = s.wait(10000);
    close(held);
    unlink(path.c_str());
    EXPECT_EQ(1, status);
    EXPECT_EQ("Error! File is version 0.100000 but we want 0.200000.\n", s.err());
}

// ---------------------------------------------------------------------------
// The command line.

TEST(StartupArguments, NonexistentPathPrintsOnlyTheLoadingLineAndRuns)
{
    SERVERPROC s;
    ASSERT_TRUE(s.start({"/nonexistent/kindler/none.map"}));
    ASSERT_TRUE(s.running()) << s.err();
    EXPECT_EQ("Loading /nonexistent/kindler/none.map\n", s.out());
    EXPECT_EQ("", s.err());
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    EXPECT_EQ("0.100000", ask(fd, "version;", 8));
    EXPECT_EQ("0 0 \"\"", ask(fd, "getmapinfo;", 6));
    close(fd);
}

TEST(StartupArguments, NoArgumentPrintsNothingAndRunsAnEmptyWorld)
{
    SERVERPROC s;
    ASSERT_TRUE(s.start({}));
    ASSERT_TRUE(s.running()) << s.err();
    EXPECT_EQ("", s.out());
    EXPECT_EQ("", s.err());
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    EXPECT_EQ("0 0 \"\"", ask(fd, "getmapinfo;", 6));
    close(fd);
}

TEST(StartupArguments, OnlyTheLastOfSeveralWordsIsTheMap)
{
    // The earlier words name a refused map and a missing one: neither is
    // read.
    std::string bad = tempfile("<kindler version=\"0.1\">\n</kindler>\n");
    std::string meadow = mapspath("meadow.map");
    SERVERPROC s;
    ASSERT_TRUE(s.start({bad, "-v", "/nonexistent/a.map", meadow}));
    unlink(bad.c_str());
    ASSERT_TRUE(s.running()) << s.err();
    EXPECT_EQ(progress(meadow, 4), s.out());
    EXPECT_EQ("", s.err());
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    EXPECT_EQ("4 3 \"meadow\"\"", ask(fd, "getmapinfo;", 13));
    close(fd);
}

TEST(StartupArguments, LastWordMissingAfterAGoodMapGivesAnEmptyWorld)
{
    SERVERPROC s;
    ASSERT_TRUE(s.start({mapspath("meadow.map"), "/nonexistent/b.map"}));
    ASSERT_TRUE(s.running()) << s.err();
    EXPECT_EQ("Loading /nonexistent/b.map\n", s.out());
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    EXPECT_EQ("0 0 \"\"", ask(fd, "getmapinfo;", 6));
    close(fd);
}

// ---------------------------------------------------------------------------
// The port.

TEST(StartupPort, PortTakenByAnotherProcessEndsWithTheBindMessage)
{
    int held = holdport();
    ASSERT_GE(held, 0) << strerror(errno);
    std::string meadow = mapspath("meadow.map");
    SERVERPROC s;
    s.launch({meadow});
    int status = s.wait(10000);
    close(held);
    EXPECT_EQ(1, status);
    EXPECT_EQ(progress(meadow, 4), s.out());
    EXPECT_EQ("bind: Address already in use\n", s.err());
}

TEST(StartupPort, RestartRightAfterAKillWithClientsConnected)
{
    std::string meadow = mapspath("meadow.map");
    std::vector<int> clients;
    {
        SERVERPROC first;
        ASSERT_TRUE(first.start({meadow}));
        ASSERT_TRUE(first.running()) << first.err();
        for (int i = 0; i < 2; i++) {
            int fd = connectserver();
            ASSERT_GE(fd, 0);
            closeonexec(fd);
            clients.push_back(fd);
            // An answer means the server accepted the connection.
            EXPECT_EQ("0.100000", ask(fd, "version;", 8));
        }
        first.stop();
    }
    // The killed server's connections still hold the port: a plain bind
    // without SO_REUSEADDR is refused now.
    int plain = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(3140);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    int bound = bind(plain, (struct sockaddr *)&addr, sizeof addr);
    int binderr = errno;
    close(plain);
    EXPECT_EQ(-1, bound);
    EXPECT_EQ(EADDRINUSE, binderr);

    SERVERPROC second;
    ASSERT_TRUE(second.start({meadow}));
    EXPECT_TRUE(second.running()) << second.err();
    EXPECT_EQ("", second.err());
    int fd = connectserver();
    ASSERT_GE(fd, 0);
    EXPECT_EQ("0.100000", ask(fd, "version;", 8));
    close(fd);
    for (int c : clients)
        close(c);
}
