// Several programs changing one grouping file at once, as a user would start them: every
// change is kept, or the program that could not make it says so and exits non-zero.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "blocks/Groups.h"
#include "../support/TempDir.h"

namespace ombrix::writers {
namespace {

pid_t Start(const std::vector<std::string>& args, const std::string& err) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(err.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout)) ::_exit(126);
        std::vector<char*> argv;
        const std::string bin = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli";
        argv.push_back(const_cast<char*>(bin.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(bin.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ConcurrentWriters, FortyGroupAddsAreAllKeptOrSayWhyNot) {
    testing::TempDir dir;
    constexpr int kWriters = 40;
    std::vector<pid_t> pids;
    for (int i = 0; i < kWriters; ++i) {
        pids.push_back(Start({"group-add", "G" + std::to_string(i), "1"}, "err" + std::to_string(i)));
    }
    std::vector<int> status(kWriters, -1);
    for (int i = 0; i < kWriters; ++i) {
        int raw = 0;
        ASSERT_EQ(::waitpid(pids[static_cast<size_t>(i)], &raw, 0), pids[static_cast<size_t>(i)]);
        status[static_cast<size_t>(i)] = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    Grouping g;
    const GroupsLoad load = LoadGroupsFile(kGroupsFileName, &g);
    ASSERT_TRUE(load.ok) << load.reason;
    for (int i = 0; i < kWriters; ++i) {
        const std::string name = "G" + std::to_string(i);
        SCOPED_TRACE(name);
        const bool kept = FindGroup(g, name) >= 0;
        if (status[static_cast<size_t>(i)] == 0) {
            EXPECT_TRUE(kept);
        } else {
            EXPECT_FALSE(kept);
            EXPECT_NE(Slurp("err" + std::to_string(i)).find("groups.json"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace ombrix::writers
