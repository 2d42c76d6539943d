// The block commands as whole processes: ombrix-sim with the demo bus on a
// pseudo-terminal, ombrix-cli with the description files of data/ in its working
// directory: a backup, one byte changed on the projector, a verification.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../support/TempDir.h"

namespace ombrix {
namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun Cli(const std::string& args) {
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli --device tty " + args + " > cli.out 2> cli.err";
    const int raw = std::system(cmd.c_str());
    auto slurp = [](const char* path) {
        std::stringstream s;
        s << std::ifstream(path).rdbuf();
        return s.str();
    };
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp("cli.out"), slurp("cli.err")};
}

TEST(BlocksOverPty, VerifyFindsOneChangedByte) {
    testing::TempDir dir;
    for (const auto& e : std::filesystem::directory_iterator(OMBRIX_DATA_DIR)) {
        if (e.path().extension() == ".dsc") std::filesystem::copy_file(e.path(), e.path().filename());
    }
    const pid_t sim = fork();
    if (sim == 0) {
        const std::string bin = std::string(OMBRIX_BIN_DIR) + "/ombrix-sim";
        const std::string bus = std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg";
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execl(bin.c_str(), bin.c_str(), "--bus", bus.c_str(), "--pty", "--link", "tty", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && access("tty", F_OK) != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CliRun r = Cli("backup 1 demo.set");
    if (r.status == 2 && r.err.find("unknown command backup") != std::string::npos) {
        kill(sim, SIGTERM);
        waitpid(sim, nullptr, 0);
        FAIL() << "ombrix-cli does not dispatch the block commands";
    }
    EXPECT_EQ(r.out, "backup: 4 blocks of projector 1 saved in demo.set\n") << r.err;
    r = Cli("read-block 1 0x3f 0x02 0x21 0x36 64");
    std::string data = r.out.substr(std::min<size_t>(16, r.out.size()), 128);
    if (data.size() == 128) data[2 * 17] = data[2 * 17] == '0' ? '1' : '0';
    EXPECT_EQ(Cli("write-block 1 0x3f 0x02 0x21 0x36 " + data).status, 0);
    r = Cli("verify demo.set 1");
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "block 1 [40 01 20 34]: identical\nblock 2 [3f 02 21 36]: different at places 17\n"
                     "block 3 [2a 03 00 36]: identical\nblock 4 [20 04 41 1c]: identical\n");
}

}  // namespace
}  // namespace ombrix
