// The block history as whole processes: ombrix-sim with the demo bus on a
// pseudo-terminal, ombrix-cli with the description files of data/ in its working
// directory and history.sqlite beside them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "../support/TempDir.h"
#include "history/HistoryStore.h"

namespace ombrix::history_pty {
namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

CliRun Cli(const std::string& args) {
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli --device tty " + args + " > cli.out 2> cli.err";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp("cli.out"), Slurp("cli.err")};
}

// ombrix-sim on a pseudo-terminal linked as ./tty; control lines go to its standard input.
class Sim {
public:
    Sim() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[0], 0);
            close(fds[1]);
            const std::string bin = std::string(OMBRIX_BIN_DIR) + "/ombrix-sim";
            const std::string bus = std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg";
            if (!freopen("/dev/null", "w", stdout)) _exit(126);
            execl(bin.c_str(), bin.c_str(), "--bus", bus.c_str(), "--pty", "--link", "tty", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        control_ = fds[1];
        for (int i = 0; i < 250 && access("tty", F_OK) != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~Sim() {
        close(control_);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    void Control(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(write(control_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

private:
    pid_t pid_ = -1;
    int control_ = -1;
};

void CopyDescriptions() {
    for (const auto& e : std::filesystem::directory_iterator(OMBRIX_DATA_DIR)) {
        if (e.path().extension() == ".dsc") std::filesystem::copy_file(e.path(), e.path().filename());
    }
}

int ParamValue(const CliRun& r) {
    std::smatch m;
    return std::regex_search(r.out, m, std::regex("value: (\\d+)")) ? std::stoi(m[1]) : -1;
}

TEST(HistoryOverPty, DriftNamesTheParameterAndARestoreBringsItBack) {
    testing::TempDir dir;
    CopyDescriptions();
    Sim sim;
    CliRun r = Cli("snapshot 1 --note first");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "snapshot 1 of projector 1: 4 blocks, complete\n");
    // Unchanged: counted on the same snapshot, no new body.
    r = Cli("snapshot 1 --note first");
    EXPECT_EQ(r.out, "snapshot 1 of projector 1: 4 blocks, complete, as it was\n");
    {
        HistoryStore store;
        std::string why;
        ASSERT_TRUE(store.Open("", &why)) << why;
        EXPECT_EQ(store.CountRows("snapshots"), 1);
        EXPECT_EQ(store.CountRows("bodies"), 4);
    }

    const int before = ParamValue(Cli("read-param 1 48 0"));
    ASSERT_GE(before, 0);
    const int step = before < 100 ? 5 : -5;
    ASSERT_EQ(Cli("write-param 1 48 0 " + std::to_string(step)).status, 0);

    r = Cli("drift 1");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("projector 1: drift since snapshot 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Brightness " + std::to_string(before) + " → " + std::to_string(before + step)),
              std::string::npos)
        << r.out;

    r = Cli("restore-snapshot 1 --yes");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("block 1 [40 01 20 34]: restored"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("block 2 [3f 02 21 36]: already in the projector"), std::string::npos) << r.out;
    EXPECT_EQ(ParamValue(Cli("read-param 1 48 0")), before);

    EXPECT_NE(r.out.find("before: snapshot 2 holds what was there before"), std::string::npos) << r.out;
    r = Cli("history 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("before restore"), std::string::npos) << r.out;
    EXPECT_EQ(Cli("drift 1").status, 0);
    // The snapshot before the restore holds the changed value: it undoes the restore.
    r = Cli("diff 1 2");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("Brightness " + std::to_string(before) + " → "), std::string::npos) << r.out;
}

// A restore of an older snapshot makes what it brought back the reference, though a newer
// snapshot by hand holds other values; the version is kept as the projector gives it.
TEST(HistoryOverPty, AfterARestoreDriftComparesWithTheRestoredSettings) {
    testing::TempDir dir;
    CopyDescriptions();
    Sim sim;
    ASSERT_EQ(Cli("snapshot 1 --note first").status, 0);
    const int before = ParamValue(Cli("read-param 1 48 0"));
    ASSERT_GE(before, 0);
    ASSERT_EQ(Cli("write-param 1 48 0 " + std::to_string(before < 100 ? 5 : -5)).status, 0);
    ASSERT_EQ(Cli("snapshot 1 --note second").status, 0);

    CliRun r = Cli("restore-snapshot 1 --yes");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("after: snapshot 4 holds the restored settings (restored from snapshot 1)"), std::string::npos)
        << r.out;
    r = Cli("drift 1");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("no drift since snapshot 4"), std::string::npos) << r.out;
    r = Cli("history 1 --json");
    EXPECT_NE(r.out.find(R"("note":"restored from snapshot 1")"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"("reason":"restored")"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"("version":"3.05")"), std::string::npos) << r.out;
}

// --all and --group name each projector they did not read and why, and fail.
TEST(HistoryOverPty, EveryProjectorPassedOverIsNamed) {
    testing::TempDir dir;
    CopyDescriptions();
    // The demo's search: addresses 1, 4, 7 (in standby), 9 (nobody) and 12.
    for (const char* f : {"options.cfg", "user_addr.cfg"}) {
        std::filesystem::copy_file(std::string(OMBRIX_DATA_DIR) + "/demo/" + f, f);
    }
    std::ofstream("groups.json") << R"({"version": 1, "groups": [{"name": "Dome", "members": [1, 7]}]})";
    Sim sim;
    const char* const cases[] = {"snapshot --all", "snapshot --group Dome --json", "drift --group Dome",
                                 "drift --all --json"};
    for (const std::string args : cases) {
        SCOPED_TRACE(args);
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        const bool json = args.find("--json") != std::string::npos;
        EXPECT_NE(r.out.find(json ? R"({"address":7,"error":"projector 7 skipped: in standby","skipped":"standby"})"
                                  : "projector 7 skipped: in standby"),
                  std::string::npos)
            << r.out;
    }
}

TEST(HistoryOverPty, AKilledSnapshotLeavesTheEarlierOnesWholeAndIsNeverComplete) {
    testing::TempDir dir;
    CopyDescriptions();
    Sim sim;
    ASSERT_EQ(Cli("snapshot 1").status, 0);
    // Every answer late, so the snapshot is still reading when it is killed.
    sim.Control("fault 1 late 400 1000");
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli --device tty snapshot 1 --note killed";
    const pid_t cli = fork();
    if (cli == 0) {
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    bool begun = false;
    for (int i = 0; i < 500 && !begun; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        HistoryStore store;
        std::string why;
        std::vector<SnapshotInfo> list;
        begun = store.Open("", &why) && store.List(1, &list, &why) && list.size() == 2;
    }
    kill(cli, SIGKILL);
    waitpid(cli, nullptr, 0);
    ASSERT_TRUE(begun);
    sim.Control("clear");

    HistoryStore store;
    std::string why, refused;
    ASSERT_TRUE(store.Open("", &why, &refused)) << why;
    EXPECT_EQ(refused, "");
    std::vector<SnapshotInfo> list;
    ASSERT_TRUE(store.List(1, &list, &why));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].state, SnapshotState::Taking);
    EXPECT_EQ(list[1].state, SnapshotState::Complete);
    SnapshotRecord first;
    ASSERT_TRUE(store.Get(list[1].id, &first, &why));
    EXPECT_EQ(std::count_if(first.blocks.begin(), first.blocks.end(), [](const HistoryBlock& b) { return !b.free; }), 4);
    const CliRun r = Cli("history 1");
    EXPECT_NE(r.out.find("incomplete: not finished"), std::string::npos) << r.out;
    // The late answer to the killed program's last question may still be on its way.
    for (int i = 0; i < 20 && Cli("status 1").status != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const CliRun drift = Cli("drift 1");
    EXPECT_EQ(drift.status, 0) << drift.out << drift.err;
}

// Two programs on one work folder: every snapshot of each is kept, none is left half.
TEST(HistoryFiles, TwoProgramsWritingAtOnceLoseNothing) {
    testing::TempDir dir;
    constexpr int kEach = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        if (children[c] == 0) {
            HistoryStore store;
            std::string why;
            if (!store.Open("", &why)) _exit(1);
            for (int n = 0; n < kEach; ++n) {
                ProjectorIdentity p;
                p.address = 1 + c;
                p.serial = "S" + std::to_string(c);
                HistoryBlock b;
                b.body.assign(64, static_cast<uint8_t>(n));
                SnapshotSaved saved;
                const int64_t id = store.Begin(p, SnapshotReason::ByHand, "", n, &why);
                if (!id || !store.Finish(id, {b}, true, "", &saved, &why)) _exit(2);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    HistoryStore store;
    std::string why;
    ASSERT_TRUE(store.Open("", &why)) << why;
    std::vector<SnapshotInfo> list;
    ASSERT_TRUE(store.List(std::nullopt, &list, &why)) << why;
    EXPECT_EQ(list.size(), 2u * kEach);
    EXPECT_TRUE(std::all_of(list.begin(), list.end(), [](const SnapshotInfo& i) { return i.state == SnapshotState::Complete; }));
    EXPECT_EQ(store.CountRows("bodies"), kEach);
}

// A file that is not a store of ours is never written: moved aside whole, or (a newer
// version's store) left where it is.
TEST(HistoryFiles, AStoreThatIsNotOursIsRefusedAndKept) {
    struct Case {
        const char* label;
        std::function<void()> make;
        bool movedAside;
        const char* reason;
    };
    auto sql = [](const char* text) {
        return [text] {
            sqlite3* db = nullptr;
            sqlite3_open("history.sqlite", &db);
            sqlite3_exec(db, text, nullptr, nullptr, nullptr);
            sqlite3_close(db);
        };
    };
    const Case cases[] = {
        {"garbage", [] { std::ofstream("history.sqlite") << std::string(5000, 'x'); }, true, "file is not a database"},
        {"another program's database", sql("CREATE TABLE songs(title TEXT)"), true, "another program's tables"},
        {"a folder", [] { std::filesystem::create_directory("history.sqlite"); }, true, "it is a folder"},
        {"a newer version's store", sql("PRAGMA application_id=1330463320; PRAGMA user_version=9"), false,
         "newer version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::TempDir dir;
        c.make();
        const auto before = std::filesystem::is_directory("history.sqlite") ? std::vector<uint8_t>{}
                                                                            : testing::ReadBytes("history.sqlite");
        const CliRun r = Cli("history");
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        if (c.movedAside) {
            // The history asked for went aside with the file: no listing is a success.
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find("moved to history.sqlite.refused"), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "no snapshots\n");
            if (!before.empty()) {
                EXPECT_EQ(testing::ReadBytes("history.sqlite.refused"), before);
            }
            for (const char* part : {"", "-wal", "-shm"}) std::filesystem::remove_all(std::string("history.sqlite") + part);
            c.make();
            const CliRun j = Cli("history --json");
            EXPECT_EQ(j.status, 1);
            EXPECT_NE(j.out.find(R"("error":"history.sqlite was refused)"), std::string::npos) << j.out;
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_FALSE(std::filesystem::exists("history.sqlite.refused"));
            EXPECT_EQ(testing::ReadBytes("history.sqlite"), before);
        }
    }
}

}  // namespace
}  // namespace ombrix::history_pty
