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
#include <functional>
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

// What standard output holds: the loading line only, or the progress of
// a map of n columns.
std::string loadingline(const std::string &path) { return "Loading " + path + "\n"; }
std::function<std::string(const std::string &)> columns(int n)
{
    return [n](const std::string &path) { return progress(path, n); };
}

// Runs the server on a map file written from `text`, which it must refuse
// by itself: exit status 1, `out(path)` on standard output, the line `err`
// on standard error, and port 3140 not listening right after the exit.
void expectrefused(const std::string &text, const std::function<std::string(const std::string &)> &out,
                   const std::string &err)
{
    const std::string path = tempfile(text);
    SERVERPROC s;
    s.start({path});
    EXPECT_EQ(1, s.wait(10000));
    EXPECT_FALSE(portlistening());
    EXPECT_EQ(out(path), s.out());
    EXPECT_EQ(err, s.err());
    unlink(path.c_str());
}

// Sends `cmd` and reads exactly `len` bytes of answer.
std::string ask(KCLIENT *kc, const std::string &cmd, size_t len)
{
    if (kcsend(kc, cmd) != 0)
        return "(send failed)";
    std::string got(len, '\0');
    if (kcrecv(kc, got.data(), len) != 0)
        return "(no answer)";
    return got;
}

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

// Starts the server with `args`; it must keep running with `out` on
// standard output and nothing on standard error, and answer a client's
// "version;" and, with `mapinfo`, its "getmapinfo;".
void expectserves(const std::vector<std::string> &args, const std::string &out, const std::string &mapinfo)
{
    SERVERPROC s;
    ASSERT_TRUE(s.start(args));
    ASSERT_TRUE(s.running()) << s.err();
    EXPECT_EQ(out, s.out());
    EXPECT_EQ("", s.err());
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    EXPECT_EQ("0.100000", ask(&kc, "version;", 8));
    EXPECT_EQ(mapinfo, ask(&kc, "getmapinfo;", mapinfo.size()));
    kcclose(&kc);
}

// Runs the server with `args` while this process holds port 3140, and
// returns its exit status once it has ended (-1 if not within 10 s).
int runwhileportheld(SERVERPROC &s, const std::vector<std::string> &args)
{
    int held = holdport();
    EXPECT_GE(held, 0) << strerror(errno);
    s.launch(args);
    int status = s.wait(10000);
    if (held >= 0)
        close(held);
    return status;
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
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    EXPECT_EQ("4 3 \"meadow\"\"", ask(&kc, "getmapinfo;", 13));
    kcclose(&kc);
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
    expectrefused("<kindler version=\"0.1\">\n" + TYPES + "</kindler>\n", loadingline,
                  "Error! File is version 0.100000 but we want 0.200000.\n");
}

TEST(StartupRefused, InvalidUnittypeAfterTheDotsOfTheColumnsBegun)
{
    // The 5 is in column 2 of 4: three dots, then the error.
    expectrefused(file(TYPES, "<map name=\"m\" xsize=4 ysize=2> 2 2 2 2 <r> 2 2 5 2 <r> </map>"),
                  [](const std::string &path) { return upto(path) + "..."; },
                  "Error! Invalid unittype in map! unittype = 5\n");
}

TEST(StartupRefused, MissingOutsideTypeAfterTheWholeGrid)
{
    std::string types = "<unittypes>\n<type name=grass num=2> temp=20 calperc=2 </type>\n</unittypes>\n";
    expectrefused(file(types, "<map name=\"m\" xsize=3 ysize=2> 2 2 2 <r> 2 2 2 <r> </map>"), columns(3), NOOUTSIDE);
}

TEST(StartupRefused, FileWithoutRootTagRunsThroughAnEmptyGrid)
{
    expectrefused(TYPES + "<map name=\"m\" xsize=1 ysize=1> 2 </map>\n", columns(0), NOOUTSIDE);
}

TEST(StartupRefused, TokenLongerThanTwentyFourCharacters)
{
    expectrefused(file(TYPES, "<map name=\"averyveryverylongmapname\" xsize=1 ysize=1> 2 </map>"), loadingline,
                  "Error! Token longer than 24 characters: \"name=\"averyveryverylongm...\"\n");
}

TEST(StartupRefused, MalformedMapBlock)
{
    expectrefused(file(TYPES, "<map name=\"m\" xsize=4 ysize=2> 2 2 2 2 <r> 2 2 2 <r> </map>"), loadingline,
                  "Error! Map row 1 has 3 values but xsize is 4.\n");
    expectrefused(file(TYPES, "<map name=\"m\" xsize=2 ysize=2>\n</map>"), loadingline,
                  "Error! The map header declares 2 x 2 cells but the file has no map block.\n");
    expectrefused(file(TYPES, "<map name=\"m\" xsize=2 ysize=3> 2 2 <r> 2 2 </map>"), loadingline,
                  "Error! Map block ends at row 1, column 2, before all 2 x 3 cells were given.\n");
}

TEST(StartupRefused, CalpercZeroOfAUsedTypeOrOfTheOutsideType)
{
    // Refused after the whole grid.
    expectrefused(file(TYPES, "<map name=\"m\" xsize=3 ysize=1> 2 4 2 </map>"), columns(3),
                  "Error! Unit type 4 has calperc 0: its cells would have no temperature.\n");
    std::string types = "<unittypes>\n<type name=outside num=0> temp=20 </type>\n"
                        "<type name=grass num=2> temp=20 calperc=2 </type>\n</unittypes>\n";
    expectrefused(file(types, "<map name=\"m\" xsize=2 ysize=1> 2 2 </map>"), columns(2),
                  "Error! Unit type 0 (outside) has calperc 0: the surroundings would have no temperature.\n");
}

TEST(StartupRefused, MapIsRefusedBeforeThePortIsBound)
{
    // With 3140 taken, a server that bound before loading would say "bind".
    std::string path = tempfile("<kindler version=\"0.1\">\n</kindler>\n");
    SERVERPROC s;
    EXPECT_EQ(1, runwhileportheld(s, {path}));
    unlink(path.c_str());
    EXPECT_EQ("Error! File is version 0.100000 but we want 0.200000.\n", s.err());
}

// ---------------------------------------------------------------------------
// The command line.

TEST(StartupArguments, NonexistentPathPrintsOnlyTheLoadingLineAndRuns)
{
    expectserves({"/nonexistent/kindler/none.map"}, "Loading /nonexistent/kindler/none.map\n", "0 0 \"\"");
}

TEST(StartupArguments, NoArgumentPrintsNothingAndRunsAnEmptyWorld) { expectserves({}, "", "0 0 \"\""); }

TEST(StartupArguments, OnlyTheLastOfSeveralWordsIsTheMap)
{
    // The earlier words name a refused map and a missing one: neither is
    // read.
    std::string bad = tempfile("<kindler version=\"0.1\">\n</kindler>\n");
    std::string meadow = mapspath("meadow.map");
    expectserves({bad, "-v", "/nonexistent/a.map", meadow}, progress(meadow, 4), "4 3 \"meadow\"\"");
    unlink(bad.c_str());
}

TEST(StartupArguments, LastWordMissingAfterAGoodMapGivesAnEmptyWorld)
{
    expectserves({mapspath("meadow.map"), "/nonexistent/b.map"}, "Loading /nonexistent/b.map\n", "0 0 \"\"");
}

// ---------------------------------------------------------------------------
// The port.

TEST(StartupPort, PortTakenByAnotherProcessEndsWithTheBindMessage)
{
    std::string meadow = mapspath("meadow.map");
    SERVERPROC s;
    EXPECT_EQ(1, runwhileportheld(s, {meadow}));
    EXPECT_EQ(progress(meadow, 4), s.out());
    EXPECT_EQ("bind: Address already in use\n", s.err());
}

TEST(StartupPort, RestartRightAfterAKillWithClientsConnected)
{
    std::string meadow = mapspath("meadow.map");
    std::vector<KCLIENT> clients(2);
    {
        SERVERPROC first;
        ASSERT_TRUE(first.start({meadow}));
        ASSERT_TRUE(first.running()) << first.err();
        for (KCLIENT &kc : clients) {
            ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
            fcntl(kc.sock, F_SETFD, FD_CLOEXEC); // not inherited by the next server
            // An answer means the server accepted the connection.
            EXPECT_EQ("0.100000", ask(&kc, "version;", 8));
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
    KCLIENT kc;
    ASSERT_NO_FATAL_FAILURE(connectclient(&kc));
    EXPECT_EQ("0.100000", ask(&kc, "version;", 8));
    kcclose(&kc);
    for (KCLIENT &c : clients)
        close(c.sock);
}
