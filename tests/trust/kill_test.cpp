// Files under kill -9: the program saving options.cfg and `ombrix-cli backup --force`
// are killed at random moments; the file is always the old or the new content whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "app/Options.h"
#include "data/Description.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ReadBytes;
using testing::WriteBytes;

constexpr int kRounds = 50;

pid_t Spawn(const std::vector<std::string>& argv, const std::string& folder = "") {
    // Built before the fork: the child of a threaded process only calls what is safe.
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(126);
        if (!std::freopen("/dev/null", "w", stderr)) _exit(126);
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

// One projector with one block: a backup is a handful of exchanges, each with the
// protocol's real waits.
const char kBus[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
id = 4711
block-length = 20
block = 40 34 01 20 active seed=1
free-blocks = 0
)";

// ombrix-sim on a pseudo-terminal in a folder of its own, with the bus above and the
// description of its type.
class Lane {
public:
    explicit Lane(const fs::path& folder) : folder_(folder) {
        fs::create_directories(folder_);
        Description d;
        d.typeCount = 1;
        d.typeCodes[0] = 5;
        d.alphaIds[0] = 'V';
        d.blockLength = 20;
        d.blockCount = 1;
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(SerializeDescription(d, nullptr, &bytes, nullptr));
        WriteBytes((folder_ / "type5.dsc").string(), bytes);
        std::ofstream((folder_ / "bus.cfg").string()) << kBus;
        sim_ = Spawn({std::string(OMBRIX_BIN_DIR) + "/ombrix-sim", "--bus", "bus.cfg", "--pty", "--link", "tty"},
                     folder_.string());
        for (int i = 0; i < 250 && !fs::exists(folder_ / "tty"); ++i) std::this_thread::sleep_for(20ms);
    }
    ~Lane() {
        kill(sim_, SIGTERM);
        Finish(sim_);
    }
    pid_t Backup(const char* file, const char* how) const {
        std::vector<std::string> argv = {std::string(OMBRIX_BIN_DIR) + "/ombrix-cli", "--device", "tty", "backup", "1",
                                         file};
        if (*how) argv.push_back(how);
        return Spawn(argv, folder_.string());
    }
    std::string Path(const char* file) const { return (folder_ / file).string(); }

private:
    fs::path folder_;
    pid_t sim_ = -1;
};

// Lanes of their own line each run side by side, so fifty kills take a few backups' time.
TEST(KilledWhileSaving, BackupFileIsOldOrNewNeverPartial) {
    testing::TempDir dir;
    constexpr int kLanes = 25;
    std::vector<std::unique_ptr<Lane>> lanes;
    for (int i = 0; i < kLanes; ++i) lanes.push_back(std::make_unique<Lane>(fs::path(dir.Path()) / std::to_string(i)));
    // The new content is one backup; the old one two, so they differ. Both at once, on
    // two lanes.
    const auto start = std::chrono::steady_clock::now();
    const pid_t oldFirst = lanes[1]->Backup("old.set", "");
    ASSERT_EQ(Finish(lanes[0]->Backup("new.set", "")), 0);
    const auto once = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(Finish(oldFirst), 0);
    ASSERT_EQ(Finish(lanes[1]->Backup("old.set", "--append")), 0);
    const std::vector<uint8_t> oldBytes = ReadBytes(lanes[1]->Path("old.set"));
    const std::vector<uint8_t> newBytes = ReadBytes(lanes[0]->Path("new.set"));
    ASSERT_NE(oldBytes, newBytes);

    std::vector<std::thread> workers;
    std::vector<std::string> partial(kLanes);
    for (int lane = 0; lane < kLanes; ++lane) {
        workers.emplace_back([&, lane] {
            std::mt19937 random(8122026 + lane);
            const Lane& l = *lanes[static_cast<size_t>(lane)];
            for (int round = 0; round < kRounds / kLanes && partial[static_cast<size_t>(lane)].empty(); ++round) {
                WriteBytes(l.Path("demo.set"), oldBytes);
                // Up to a little past the time a whole backup takes, so some complete.
                KillAfter(l.Backup("demo.set", "--force"), std::chrono::microseconds(random() % (once.count() * 11 / 10)));
                const std::vector<uint8_t> now = ReadBytes(l.Path("demo.set"));
                if (now != oldBytes && now != newBytes) {
                    partial[static_cast<size_t>(lane)] = "round " + std::to_string(round) + ": " +
                                                         std::to_string(now.size()) + " bytes";
                }
            }
        });
    }
    for (std::thread& t : workers) t.join();
    for (int lane = 0; lane < kLanes; ++lane) EXPECT_EQ(partial[static_cast<size_t>(lane)], "") << "lane " << lane;
}

}  // namespace
}  // namespace ombrix
