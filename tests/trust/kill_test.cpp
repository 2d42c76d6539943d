// Files under kill -9: the program saving options.cfg and `ombrix-cli backup --force`
// are killed at random moments; the file is always the old or the new content whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "app/Options.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ReadBytes;
using testing::WriteBytes;

constexpr int kRounds = 50;

pid_t Spawn(const std::vector<std::string>& argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

int Finish(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void KillAfter(pid_t pid, std::chrono::microseconds delay) {
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    Finish(pid);
}

std::vector<uint8_t> Options(int which) {
    ProgramOptions o;
    for (int i = 0; i < 3 + 2 * which; ++i) {
        SourceEntry s;
        s.inputSlot = i + 1;
        s.SetName("Input " + std::to_string(which) + "." + std::to_string(i));
        o.sources.push_back(s);
    }
    return SerializeOptions(o);
}

TEST(KilledWhileSaving, OptionsFileIsOldOrNewNeverPartial) {
    testing::TempDir dir;
    const std::vector<uint8_t> a = Options(0), b = Options(1);
    WriteBytes(kOptionsFileName, a);
    std::mt19937 random(20261208);
    for (int round = 0; round < kRounds; ++round) {
        const pid_t saver = Spawn({std::string(OMBRIX_BIN_DIR) + "/options_saver"});
        KillAfter(saver, std::chrono::microseconds(2000 + random() % 40000));
        const std::vector<uint8_t> now = ReadBytes(kOptionsFileName);
        ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
    }
}

class SimOnPty {
public:
    SimOnPty() {
        pid_ = fork();
        if (pid_ == 0) {
            const std::string bin = std::string(OMBRIX_BIN_DIR) + "/ombrix-sim";
            const std::string bus = std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg";
            std::freopen("/dev/null", "w", stdout);
            execl(bin.c_str(), bin.c_str(), "--bus", bus.c_str(), "--pty", "--link", "tty", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 250 && access("tty", F_OK) != 0; ++i) std::this_thread::sleep_for(20ms);
    }
    ~SimOnPty() {
        kill(pid_, SIGTERM);
        Finish(pid_);
    }

private:
    pid_t pid_ = -1;
};

std::vector<std::string> Backup(const std::string& file, const char* how) {
    std::vector<std::string> argv = {std::string(OMBRIX_BIN_DIR) + "/ombrix-cli", "--device", "tty", "backup", "1", file};
    if (*how) argv.push_back(how);
    return argv;
}

TEST(KilledWhileSaving, BackupFileIsOldOrNewNeverPartial) {
    testing::TempDir dir;
    for (const auto& e : fs::directory_iterator(OMBRIX_DATA_DIR)) {
        if (e.path().extension() == ".dsc") fs::copy_file(e.path(), e.path().filename());
    }
    SimOnPty sim;
    ASSERT_TRUE(fs::exists("tty"));
    // The new content is one backup; the old one two, so they differ.
    ASSERT_EQ(Finish(Spawn(Backup("new.set", ""))), 0);
    ASSERT_EQ(Finish(Spawn(Backup("old.set", ""))), 0);
    ASSERT_EQ(Finish(Spawn(Backup("old.set", "--append"))), 0);
    const std::vector<uint8_t> oldBytes = ReadBytes("old.set"), newBytes = ReadBytes("new.set");
    ASSERT_NE(oldBytes, newBytes);
    const auto start = std::chrono::steady_clock::now();
    WriteBytes("demo.set", oldBytes);
    ASSERT_EQ(Finish(Spawn(Backup("demo.set", "--force"))), 0);
    const auto once = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(ReadBytes("demo.set"), newBytes);

    std::mt19937 random(8122026);
    for (int round = 0; round < kRounds; ++round) {
        WriteBytes("demo.set", oldBytes);
        const pid_t cli = Spawn(Backup("demo.set", "--force"));
        KillAfter(cli, std::chrono::microseconds(random() % (once.count() + 1)));
        const std::vector<uint8_t> now = ReadBytes("demo.set");
        ASSERT_TRUE(now == oldBytes || now == newBytes) << "round " << round << ": " << now.size() << " bytes";
    }
}

}  // namespace
}  // namespace ombrix
