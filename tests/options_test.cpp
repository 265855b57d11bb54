// The table of options read from a command line: which words stay (the
// last is the map), values and their faults, the warning for unknown
// options, and the help and version texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace {

struct PARSED {
    OPTIONSRESULT result;
    std::vector<std::string> words;
    std::string warnings, error;
};

PARSED parse(std::vector<std::string> args)
{
    settings = SETTINGS();
    args.insert(args.begin(), "kindler-server");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    PARSED p;
    p.result = parseoptions((int)argv.size(), argv.data(), p.words, p.warnings, p.error);
    return p;
}

} // namespace

TEST(Options, KnownOptionsAreNoWordsAndUnknownOnesAreWarnedAndKept)
{
    PARSED p = parse({"--http=8080", "a", "--origin=https://x.example,https://y.example", "--colour=red",
                      "--origin=https://z.example", "--idle-timeout=2", "map"});
    EXPECT_EQ(p.result, OPTIONS_RUN);
    EXPECT_EQ(p.words, (std::vector<std::string>{"kindler-server", "a", "--colour=red", "map"}));
    EXPECT_EQ(p.warnings, "Warning: unknown option --colour=red ignored\n");
    EXPECT_EQ(settings.http, 8080);
    EXPECT_TRUE(settings.httpchosen);
    EXPECT_EQ(settings.idletimeout, 2);
    EXPECT_EQ(settings.origins, (std::vector<std::string>{"https://x.example", "https://y.example", "https://z.example"}));
}

TEST(Options, ABadValueNamesTheOptionAndItsRange)
{
    PARSED p = parse({"--max-per-address=0", "map"});
    EXPECT_EQ(p.result, OPTIONS_BAD);
    EXPECT_EQ(p.error, "Error! Bad number in \"--max-per-address=0\": want --max-per-address=N, N from 1 to 1000000.\n");
}

TEST(Options, HelpListsEveryOptionWithItsDefaultAndVersionTheProjects)
{
    PARSED p = parse({"--http=9", "--help"});
    EXPECT_EQ(p.result, OPTIONS_HELP);
    const std::string help = helptext();
    for (const char *line : {"--http=PORT", "(default 3141)", "--origin=URL", "--joins-per-connection=N",
                             "--joins-per-address=N", "--max-per-address=N", "--max-connections=N",
                             "--max-websockets=N", "--fd-reserve=N", "--idle-timeout=SECONDS", "(default 30)",
                             "--stall-timeout=SECONDS", "--version"})
        EXPECT_NE(help.find(line), std::string::npos) << line;
    EXPECT_EQ(parse({"--version"}).result, OPTIONS_VERSION);
    EXPECT_EQ(versiontext(), std::string("kindler-server ") + KINDLER_VERSION + "\n");
}
