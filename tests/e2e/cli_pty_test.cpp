// Whole processes: ombrix-sim serving a pseudo-terminal, ombrix-cli talking to it in
// real time through the real serial code.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "../support/TempDir.h"

namespace ombrix {
namespace {

using namespace std::chrono_literals;

struct CliResult {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SimProcess {
public:
    SimProcess() {
        pid_ = fork();
        if (pid_ == 0) {
            const std::string bin = std::string(OMBRIX_BIN_DIR) + "/ombrix-sim";
            const std::string bus = std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg";
            if (!freopen("sim.out", "w", stdout)) _exit(126);
            if (!freopen("/dev/null", "r", stdin)) _exit(126);
            execl(bin.c_str(), bin.c_str(), "--bus", bus.c_str(), "--pty", "--link", "tty", "--control", "ctl",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && !(ready_ = access("tty", F_OK) == 0 && access("ctl", F_OK) == 0); ++i) {
            std::this_thread::sleep_for(20ms);
        }
    }
    ~SimProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    bool Ready() const { return ready_; }
    void Control(const std::string& line) {
        std::ofstream ctl("ctl");
        ctl << line << '\n';
    }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

CliResult Cli(const std::string& args) {
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli --device tty " + args + " > cli.out 2> cli.err";
    const auto t0 = std::chrono::steady_clock::now();
    const int raw = std::system(cmd.c_str());
    CliResult r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = Slurp("cli.out");
    r.err = Slurp("cli.err");
    return r;
}

class OverPty : public ::testing::Test {
protected:
    testing::TempDir dir_;
    SimProcess sim_;
};

TEST_F(OverPty, AnsweredCommands) {
    ASSERT_TRUE(sim_.Ready());
    CliResult r = Cli("identity 4");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "result: 3\nletter: G\nversion: 12.05\ntype: 8\n");
    EXPECT_EQ(r.err, "");
    r = Cli("serial 1");
    EXPECT_EQ(r.out, "result: 3\nserial: 1234567\n");
    r = Cli("status 7");
    EXPECT_NE(r.out.find("\nstandby: 1\n"), std::string::npos);
}

TEST_F(OverPty, BlockDataRunsBothWays) {
    ASSERT_TRUE(sim_.Ready());
    std::string data;
    for (int i = 0; i < 64; ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", (i * 37 + 2) & 0xFF);  // 0x02 inside the run too
        data += b;
    }
    CliResult r = Cli("write-block 1 0x44 9 0x20 0x34 " + data);
    EXPECT_EQ(r.out, "result: 3\n");
    r = Cli("read-block 1 0x44 9 0x20 0x34 64");
    EXPECT_EQ(r.out, "result: 3\ndata: " + data + "\n");
}

TEST_F(OverPty, FailuresTakeTheirTimeOuts) {
    ASSERT_TRUE(sim_.Ready());
    CliResult r = Cli("runtime 9");  // nobody there
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "result: 0\n");
    EXPECT_EQ(r.err, "Error in communication: Projector doesn't send ACK !\n");
    EXPECT_GE(r.seconds, 2.0 + 0.15 + 0.15);

    sim_.Control("fault 1 nack 0 1");
    std::this_thread::sleep_for(100ms);
    r = Cli("runtime 1");
    EXPECT_EQ(r.out, "result: 2\n");
    EXPECT_EQ(r.err, "Error in communication: Projector sends NACK !\n");

    sim_.Control("fault 1 short 0 1");
    std::this_thread::sleep_for(100ms);
    r = Cli("runtime 1");
    EXPECT_EQ(r.out, "result: 1\n");
    EXPECT_EQ(r.err, "Error in communication: Projector does send ACK, but doesn't answer the question !\n");
    EXPECT_GE(r.seconds, 0.15 + 2.0 + 0.15);
}

TEST_F(OverPty, AnUnpluggedLineEndsTheWaitAtOnce) {
    ASSERT_TRUE(sim_.Ready());
    sim_.Control("fault 1 late 5000");
    std::this_thread::sleep_for(100ms);
    std::thread unplug([&] {
        std::this_thread::sleep_for(400ms);
        sim_.Control("drop");
    });
    const CliResult r = Cli("key 1 13");
    unplug.join();
    EXPECT_EQ(r.out, "result: 0\n");
    EXPECT_LT(r.seconds, 1.8);  // well before the 2000 ms time-out
}

TEST_F(OverPty, CtrlCStopsTheSearchAndKeepsWhatWasFound) {
    ASSERT_TRUE(sim_.Ready());
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli";
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("search.out", "w", stdout)) _exit(126);
        if (!freopen("search.err", "w", stderr)) _exit(126);
        execl(cmd.c_str(), cmd.c_str(), "--device", "tty", "search", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Address 1 answers at once; 2 and 3 are silent for 2.7 s each.
    std::this_thread::sleep_for(3500ms);
    kill(pid, SIGINT);
    int raw = 0;
    waitpid(pid, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    const std::string out = Slurp("search.out");
    EXPECT_EQ(out.rfind("Projector with address 1 found ...\n", 0), 0u) << out;
    EXPECT_NE(out.find("\n1 V 5 ZV-051 3 100234 Operating\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("address 4"), std::string::npos) << out;
    const std::string generated = Slurp("addr.cfg");
    EXPECT_EQ(generated, std::string("\x01\0\0\0", 4));
}

TEST(OverTcp, TheSimulatorServesATcpPort) {
    testing::TempDir dir;
    const int port = 20000 + getpid() % 20000;
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string bin = std::string(OMBRIX_BIN_DIR) + "/ombrix-sim";
        const std::string bus = std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg";
        if (!freopen("sim.out", "w", stdout)) _exit(126);
        if (!freopen("/dev/null", "r", stdin)) _exit(126);
        execl(bin.c_str(), bin.c_str(), "--bus", bus.c_str(), "--tcp", std::to_string(port).c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && Slurp("sim.out").empty(); ++i) std::this_thread::sleep_for(20ms);
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli --device tcp://127.0.0.1:" +
                            std::to_string(port) + " serial 4 > cli.out 2> cli.err";
    const int raw = std::system(cmd.c_str());
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_EQ(Slurp("cli.out"), "result: 3\nserial: 0987654\n");
}

// A line that answers every request with one byte: only 0x06 acknowledges, so nothing
// is "done" on 0x00, and 0x06 alone is no answer to a question. Nothing is changed on
// the projector either way.
TEST_F(OverPty, OneByteForEveryRequestIsNoSuccess) {
    ASSERT_TRUE(sim_.Ready());
    struct Case {
        const char* byte;
        const char* command;
        int result;
    };
    const Case cases[] = {
        {"0x00", "free-block 1 0x40 0x01 0x20 0x34", 0}, {"0x00", "key 1 13", 0},
        {"0x00", "write-param 1 48 0 -1", 0},             {"0x00", "force 1 3 0x90", 0},
        {"0x06", "status 1", 1},                          {"0x06", "read-param 1 48 0", 1},
        {"0x06", "key 1 13", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.byte) + " " + c.command);
        sim_.Control(std::string("fault all byte ") + c.byte);
        std::this_thread::sleep_for(100ms);
        const CliResult r = Cli(c.command);
        EXPECT_EQ(r.status, c.result == 3 ? 0 : 1);
        EXPECT_EQ(r.out.substr(0, 10), "result: " + std::to_string(c.result) + "\n");
        if (c.result == 0) {
            EXPECT_NE(r.err.find("The projector answered 0x00, not an acknowledgement (0x06)."), std::string::npos)
                << r.err;
        }
    }
    sim_.Control("clear");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Cli("read-param 1 48 0").out, "result: 3\nvalue: 119\n");
}

// A doubled acknowledgement is not the data run's, and a late one stays with the command
// it answers: neither is ever a "done", for that command or the next.
TEST_F(OverPty, DoubledOrLateAcknowledgementsAreNoSuccess) {
    ASSERT_TRUE(sim_.Ready());
    sim_.Control("fault 1 double-ack");
    std::this_thread::sleep_for(100ms);
    CliResult r = Cli("write-block 1 0x44 9 0x20 0x34 " + std::string(128, '5'));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "result: 2\n");

    sim_.Control("fault 1 late-ack");
    std::this_thread::sleep_for(100ms);
    r = Cli("write-param 1 48 0 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "result: 0\n");
    EXPECT_NE(r.err.find("An acknowledgement came 40"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the projector has applied it"), std::string::npos) << r.err;

    // A question's late reply does not reach the next program's bare acknowledgement.
    sim_.Control("clear");
    sim_.Control("fault 1 late-ack");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Cli("status 1").status, 1);
    r = Cli("key 1 13");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "result: 0\n");
}

TEST(OverPtyNoSim, AMissingDeviceIsError3) {
    testing::TempDir dir;
    const CliResult r = Cli("status 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error  3: Connection failed (in create)\nCannot open tty: no such device.\n");
}

}  // namespace
}  // namespace ombrix
