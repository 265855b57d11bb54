// Replays a fuzzer's committed corpus through its entry function, so the
// ordinary build covers every corpus input: each must run to its end
// without a crash or a failed check (a failed check aborts the test).
// Built once per fuzz target, with FUZZCORPUS naming its corpus directory.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static std::vector<std::string> corpusfiles()
{
    std::vector<std::string> files;
    DIR *dir = opendir(FUZZCORPUS);
    if (!dir)
        return files;
    while (struct dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            files.push_back(name);
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzCorpus, EveryCorpusInputRunsThroughTheEntryFunction)
{
    std::vector<std::string> files = corpusfiles();
    ASSERT_FALSE(files.empty()) << "no corpus in " FUZZCORPUS;
    for (const std::string &name : files) {
        SCOPED_TRACE(name);
        std::string bytes = readfile(std::string(FUZZCORPUS) + "/" + name);
        int r = LLVMFuzzerTestOneInput((const uint8_t *)bytes.data(), bytes.size());
        // -1 marks an input the target declines (too large); corpus files
        // are chosen so that every one of them is run.
        EXPECT_EQ(r, 0);
    }
}
