// The table of options read from a command line: which words stay (the
// last is the map), values and their faults, the warning for unknown
// options, and the help and version texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

// What the last parse read.
static SETTINGS settings;

// Reads `args` after the program's name into `settings`; `words` and `out`
// (warnings, or the error line) get what it says.
static OPTIONSRESULT parse(std::vector<std::string> args, std::vector<std::string> &words, std::string &out)
{
    settings = SETTINGS();
    args.insert(args.begin(), "kindler-server");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    std::string error;
    OPTIONSRESULT r = parseoptions((int)argv.size(), argv.data(), settings, words, out, error);
    out += error;
    return r;
}

TEST(Options, KnownOptionsAreNoWordsAndUnknownOnesAreWarnedAndKept)
{
    std::vector<std::string> words;
    std::string out;
    EXPECT_EQ(parse({"--http=8080", "a", "--origin=https://x.example,https://y.example", "--colour=red",
                     "--origin=https://z.example", "--idle-timeout=2", "map"},
                    words, out),
              OPTIONS_RUN);
    EXPECT_EQ(words, (std::vector<std::string>{"kindler-server", "a", "--colour=red", "map"}));
    EXPECT_EQ(out, "Warning: unknown option --colour=red ignored\n");
    EXPECT_TRUE(settings.http == 8080 && settings.httpchosen && settings.web.idletimeout == 2);
    EXPECT_EQ(settings.web.origins,
              (std::vector<std::string>{"https://x.example", "https://y.example", "https://z.example"}));
    out.clear();
    EXPECT_EQ(parse({"--max-per-address=0", "map"}, words, out), OPTIONS_BAD);
    EXPECT_EQ(out, "Error! Bad number in \"--max-per-address=0\": want --max-per-address=N, N from 1 to 1000000.\n");
}

TEST(Options, HelpListsEveryOptionWithItsDefaultAndVersionTheProjects)
{
    std::vector<std::string> words;
    std::string out;
    EXPECT_EQ(parse({"--http=9", "--help"}, words, out), OPTIONS_HELP);
    const std::string help = helptext();
    for (const char *line : {"--http=PORT (default 3141)", "--origin=URL (default none)", "--joins-per-connection=N (",
                             "--joins-per-address=N (", "--max-per-address=N (", "--max-connections=N (",
                             "--max-websockets=N (", "--fd-reserve=N (", "--idle-timeout=SECONDS (default 30)",
                             "--stall-timeout=SECONDS (default 30)", "--version"})
        EXPECT_NE(help.find(line), std::string::npos) << line;
    EXPECT_EQ(parse({"--version"}, words, out), OPTIONS_VERSION);
    EXPECT_EQ(versiontext(), std::string("kindler-server ") + KINDLER_VERSION + "\ntick paths on this processor: " +
                                 runnabletickpaths() + "\n");
}

TEST(Options, TickPathIsOneThisProcessorRunsAndAutoTakesTheFastest)
{
    std::vector<std::string> words;
    std::string out;
    EXPECT_EQ(parse({"map"}, words, out), OPTIONS_RUN);
    EXPECT_EQ(settings.tickpath, besttickpath());
    EXPECT_EQ(parse({"--tick=x87", "map"}, words, out), OPTIONS_RUN);
    EXPECT_EQ(settings.tickpath, TICKPATH::x87);
    for (TICKPATH p : {TICKPATH::avx2, TICKPATH::avx512}) {
        out.clear();
        const OPTIONSRESULT r = parse({std::string("--tick=") + tickpathname(p), "map"}, words, out);
        if (tickpathrunnable(p)) {
            EXPECT_EQ(r, OPTIONS_RUN);
            EXPECT_EQ(settings.tickpath, p);
        } else {
            EXPECT_EQ(r, OPTIONS_BAD);
            EXPECT_EQ(out, std::string("Error! This processor cannot run the ") + tickpathname(p) + " tick: it runs " +
                               runnabletickpaths() + ".\n");
        }
    }
    out.clear();
    EXPECT_EQ(parse({"--tick=sse", "map"}, words, out), OPTIONS_BAD);
    EXPECT_EQ(out, "Error! Bad tick path in \"--tick=sse\": want --tick=auto, x87, avx2 or avx512.\n");
}

TEST(Options, RoundLengthsTakeSecondsMinutesOrHoursAndRefuseTheRest)
{
    std::vector<std::string> words;
    std::string out;
    const std::pair<const char *, int> good[] = {{"90s", 90}, {"10m", 600}, {"1h", 3600}, {"45", 45}};
    for (const auto &[text, seconds] : good) {
        EXPECT_EQ(parse({std::string("--round=") + text, "map"}, words, out), OPTIONS_RUN) << text;
        EXPECT_EQ(settings.round, seconds) << text;
    }
    EXPECT_EQ(settings.intermission, 10);
    EXPECT_EQ(settings.burnout, 30);
    for (const char *bad : {"0", "10x", "m", "-5s", "10ms", "200h", ""}) {
        out.clear();
        EXPECT_EQ(parse({std::string("--round=") + bad, "map"}, words, out), OPTIONS_BAD) << bad;
        EXPECT_EQ(out, std::string("Error! Bad round length in \"--round=") + bad +
                           "\": want --round=DURATION, DURATION from 1 to 604800 seconds (e.g. 90s, 10m, 1h).\n");
    }
}

// A checkpoint every tick, or a round that ends the tick after its first
// fire, is never what an operator meant: zero is refused for both.
TEST(Options, ZeroCheckpointIntervalAndZeroBurnoutAreRefused)
{
    std::vector<std::string> words;
    std::string out;
    EXPECT_EQ(parse({"--checkpoint=0", "map"}, words, out), OPTIONS_BAD);
    EXPECT_EQ(out, "Error! Bad interval in \"--checkpoint=0\": want --checkpoint=SECONDS, SECONDS above 0 up to 86400.\n");
    out.clear();
    EXPECT_EQ(parse({"--burnout=0", "--round=1m", "map"}, words, out), OPTIONS_BAD);
    EXPECT_EQ(out, "Error! Bad number in \"--burnout=0\": want --burnout=SECONDS, SECONDS from 1 to 86400.\n");
    out.clear();
    EXPECT_EQ(parse({"--checkpoint=0.5", "--burnout=1", "map"}, words, out), OPTIONS_RUN) << out;
    EXPECT_EQ(settings.checkpoint, 0.5);
    EXPECT_EQ(settings.burnout, 1);
}
