// The shape of the code: no include circles among the files of server/,
// shared/, client/ and stream/ (a file and its header count as one), no
// file of theirs over 500 lines, and the stream codec built on plain data.
#include <gtest/gtest.h>

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
