// The shape of the code: no include circles among the files of server/,
// shared/, client/ and stream/ (a file and its header count as one), each
// file including only its own layer and those below it (of the game only
// its interface, game/game.h), no file of theirs over 500 lines, and the
// stream codec built on plain data.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path ROOT = KINDLER_SOURCE;
const char *const FOLDERS[] = {"server", "shared", "client", "stream"};

bool sourcefile(const fs::path &p) { return p.extension() == ".cpp" || p.extension() == ".h"; }

// Every source file of the folders, relative to the root.
std::vector<fs::path> sources()
{
    std::vector<fs::path> files;
    for (const char *folder : FOLDERS) {
        if (!fs::exists(ROOT / folder))
            continue;
        for (const auto &e : fs::recursive_directory_iterator(ROOT / folder))
            if (e.is_regular_file() && sourcefile(e.path()))
                files.push_back(fs::relative(e.path(), ROOT));
    }
    return files;
}

// The quoted includes of a file.
std::vector<std::string> includes(const fs::path &file)
{
    std::vector<std::string> names;
    std::ifstream in(ROOT / file);
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line.compare(at, 8, "#include") != 0)
            continue;
        size_t open = line.find('"', at);
        size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close != std::string::npos)
            names.push_back(line.substr(open + 1, close - open - 1));
    }
    return names;
}

// The file an include names: beside the includer, else in one of the
// folders the build puts on the include path.
fs::path resolve(const fs::path &from, const std::string &name)
{
    for (const fs::path &dir : {from.parent_path(), fs::path("server"), fs::path("shared"), fs::path("client"),
                                fs::path("stream")})
        if (fs::exists(ROOT / dir / name))
            return (dir / name).lexically_normal();
    return {};
}

// A file's unit: its path without the extension (x.h with x.cpp).
std::string unit(const fs::path &p) { return (p.parent_path() / p.stem()).string(); }

// The edges between units, from every include that resolves.
std::map<std::string, std::set<std::string>> unitgraph()
{
    std::map<std::string, std::set<std::string>> graph;
    for (const fs::path &f : sources()) {
        graph[unit(f)];
        for (const std::string &name : includes(f)) {
            fs::path to = resolve(f, name);
            if (!to.empty() && unit(to) != unit(f))
                graph[unit(f)].insert(unit(to));
        }
    }
    return graph;
}

// One circle of the graph, as the units along it, or none.
std::vector<std::string> findcircle(const std::map<std::string, std::set<std::string>> &graph)
{
    std::map<std::string, int> state; // 0 new, 1 on the path, 2 done
    std::vector<std::string> path, circle;
    std::function<bool(const std::string &)> visit = [&](const std::string &u) {
        state[u] = 1;
        path.push_back(u);
        auto it = graph.find(u);
        if (it != graph.end())
            for (const std::string &v : it->second) {
                if (state[v] == 1) {
                    auto from = std::find(path.begin(), path.end(), v);
                    circle.assign(from, path.end());
                    circle.push_back(v);
                    return true;
                }
                if (state[v] == 0 && visit(v))
                    return true;
            }
        path.pop_back();
        state[u] = 2;
        return false;
    };
    for (const auto &[u, edges] : graph)
        if (state[u] == 0 && visit(u))
            return circle;
    return {};
}

// The layers, lowest first: shared/ under everything; stream/ and client/
// on it; then server/engine, server/game, the four users of the game
// (server/store, server/tcp, server/web, server/fleet, which know nothing
// of each other),
// server/app, and server/main.cpp on top.
struct LAYER {
    std::string name; // "shared", "engine", "main", ... ; empty: outside the layers
    int rank = -1;    // may include its own layer and any of lower rank
};

LAYER layerof(const fs::path &file)
{
    static const std::map<std::string, int> ranks = {
        {"shared", 0}, {"stream", 1}, {"client", 1}, {"engine", 2}, {"game", 3},
        {"store", 4},  {"tcp", 4},    {"web", 4},    {"fleet", 4},  {"app", 5},    {"main", 6}};
    auto part = file.begin();
    if (part == file.end())
        return {};
    std::string name = part->string();
    if (name == "server") {
        if (++part == file.end())
            return {};
        name = std::next(part) == file.end() ? part->stem().string() : part->string();
    }
    auto it = ranks.find(name);
    return it == ranks.end() ? LAYER{} : LAYER{name, it->second};
}

// The headers of game/ that the layers above it include: the game's one
// interface, and the helper that ends their threads.
const char *const GAMEINTERFACE[] = {"game.h", "stopthread.h"};

// Why `from` may not include `to`, or empty when it may.
std::string layerfault(const fs::path &from, const fs::path &to)
{
    LAYER a = layerof(from), b = layerof(to);
    if (a.name.empty() || b.name.empty() || a.name == b.name)
        return {};
    const std::string what = from.string() + " (" + a.name + ") includes " + to.string() + " (" + b.name + ")";
    if (b.name == "game" && std::find(std::begin(GAMEINTERFACE), std::end(GAMEINTERFACE),
                                      to.filename().string()) == std::end(GAMEINTERFACE))
        return what + ", not the game's interface (game/game.h)";
    return b.rank < a.rank ? std::string() : what;
}

std::string joined(const std::vector<std::string> &v)
{
    std::string s;
    for (const std::string &u : v)
        s += (s.empty() ? "" : " -> ") + u;
    return s;
}

} // namespace

TEST(CodeShape, NoIncludeCircles)
{
    auto graph = unitgraph();
    ASSERT_GT(graph.size(), 20u) << "the sources were not found under " << ROOT;
    std::vector<std::string> circle = findcircle(graph);
    EXPECT_TRUE(circle.empty()) << "include circle: " << joined(circle);
}

TEST(CodeShape, TheCircleCheckFindsACircle)
{
    std::map<std::string, std::set<std::string>> graph = {{"a", {"b"}}, {"b", {"c"}}, {"c", {"a"}}, {"d", {"a"}}};
    EXPECT_EQ("a -> b -> c -> a", joined(findcircle(graph)));
    graph["c"].clear();
    EXPECT_TRUE(findcircle(graph).empty());
}

TEST(CodeShape, EachFileIncludesOnlyItsLayerAndThoseBelow)
{
    std::vector<std::string> faults;
    for (const fs::path &f : sources())
        for (const std::string &name : includes(f)) {
            fs::path to = resolve(f, name);
            if (!to.empty() && !layerfault(f, to).empty())
                faults.push_back(layerfault(f, to));
        }
    EXPECT_TRUE(faults.empty()) << faults.size() << " includes against the layers:\n"
                                << [&] {
                                       std::string s;
                                       for (const std::string &x : faults)
                                           s += "  " + x + "\n";
                                       return s;
                                   }();
}

TEST(CodeShape, TheLayerCheckRefusesUpwardAndSidewaysIncludesAndTheGamesInsides)
{
    struct {
        const char *from, *to;
        bool allowed;
    } cases[] = {
        {"server/game/round.cpp", "server/engine/world.h", true},
        {"server/game/actions.cpp", "server/game/player.h", true},
        {"server/tcp/commands.cpp", "server/game/game.h", true},
        {"server/store/checkpointer.cpp", "server/game/stopthread.h", true},
        {"server/tcp/commands.cpp", "server/game/actions.h", false},
        {"server/store/checkpoint.cpp", "server/game/player.h", false},
        {"server/main.cpp", "server/game/loadmap.h", false},
        {"server/engine/tick/tick.cpp", "server/engine/world.h", true},
        {"server/main.cpp", "server/app/loop.h", true},
        {"server/web/stream.cpp", "stream/messages.h", true},
        {"stream/messages.cpp", "shared/wire.h", true},
        {"server/engine/mapfile.cpp", "server/app/version.h", false},
        {"server/game/game.h", "server/tcp/mapanswer.h", false},
        {"server/web/web.cpp", "server/store/store.h", false},
        {"server/store/checkpoint.cpp", "server/tcp/session.h", false},
        {"server/app/loop.cpp", "server/main.cpp", false},
        {"stream/messages.cpp", "server/engine/world.h", false},
        {"shared/wire.cpp", "stream/bytes.h", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.allowed, layerfault(c.from, c.to).empty()) << c.from << " -> " << c.to;
}

TEST(CodeShape, NoFileOverFiveHundredLines)
{
    for (const fs::path &f : sources()) {
        std::ifstream in(ROOT / f);
        size_t lines = 0;
        for (std::string line; std::getline(in, line);)
            lines++;
        EXPECT_LE(lines, 500u) << f;
    }
}

TEST(CodeShape, TheStreamCodecReadsNoWorldAndNoDecoderLivesInTheServer)
{
    for (const fs::path &f : sources()) {
        const std::string top = *f.begin();
        if (top == "stream") {
            for (const std::string &name : includes(f))
                EXPECT_NE("world.h", fs::path(name).filename().string()) << f << " includes the world";
        }
        if (top == "server") {
            EXPECT_EQ(std::string::npos, f.filename().string().find("decoder")) << f;
        }
    }
}
