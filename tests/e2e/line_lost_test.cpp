// Whole processes on a TCP line that hangs up: ombrix-cli must end with a message and
// status 1, never die of a broken pipe.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "../support/TempDir.h"

namespace ombrix::line_lost {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A serial device server that takes each connection and hangs up at once: every byte
// written after that draws a reset, and a plain write a SIGPIPE.
class HangingUpServer {
public:
    HangingUpServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(fd_, 4) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            port_ = ntohs(a.sin_port);
        }
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                const int c = ::accept(fd_, nullptr, nullptr);
                if (c >= 0) ::close(c);
            }
        });
    }
    ~HangingUpServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A device that never stops sending: random bytes to every connection until it closes.
class SpewingServer {
public:
    SpewingServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(fd_, 4) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            port_ = ntohs(a.sin_port);
        }
        thread_ = std::thread([this] {
            unsigned seed = 12345;
            while (!stop_.load()) {
                const int c = ::accept(fd_, nullptr, nullptr);
                if (c < 0) continue;
                uint8_t noise[256];
                while (!stop_.load()) {
                    for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
                    if (::send(c, noise, sizeof noise, MSG_NOSIGNAL) < 0) break;
                    ::usleep(1000);
                }
                ::close(c);
            }
        });
    }
    ~SpewingServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

int RunCli(const std::string& args) {
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli " + args + " > cli.out 2> cli.err";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A dead line is no empty bus: search and watch say the line was lost, once, and fail;
// a line that never falls quiet is said as such.
TEST(OverTcp, SearchAndWatchOnADeadOrNoisyLineFail) {
    testing::TempDir dir;
    HangingUpServer hangUp;
    SpewingServer spewer;
    ASSERT_NE(hangUp.Port(), 0);
    ASSERT_NE(spewer.Port(), 0);
    const std::string dead = "tcp://127.0.0.1:" + std::to_string(hangUp.Port());
    const std::string noisy = "tcp://127.0.0.1:" + std::to_string(spewer.Port());
    struct Case {
        const char* label;
        std::string device;
        const char* command;
        const char* said;
    };
    const Case cases[] = {
        {"search_dead", dead, "search", "The line tcp://"},
        {"watch_once_dead", dead, "watch --once", "The line tcp://"},
        {"search_noisy", noisy, "search", "never falls quiet"},
        {"watch_once_noisy", noisy, "watch --once", "never falls quiet"},
        {"backup_dead", dead, "backup 1 new.set", "The line tcp://"},
        {"backup_noisy", noisy, "backup 1 new.set", "never falls quiet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_NE(RunCli("--device " + c.device + " " + c.command), 0);
        const std::string err = Slurp("cli.err");
        EXPECT_EQ(Count(err, c.said), 1u) << err;
        EXPECT_EQ(err.find("No connected projectors found"), std::string::npos) << err;
        EXPECT_EQ(Count(Slurp("cli.out"), "not found"), 0u);
        // The search mode stays as it was: the next search probes the same addresses.
        ASSERT_EQ(RunCli("--device " + c.device + " search"), 1);
        EXPECT_EQ(Slurp("cli.err").find("Skip Search"), std::string::npos);
    }
}

// Without --once the watch waits for the line to come back, reopening it every 3 s, and
// says the loss once; stopped before it ever watched, it fails.
TEST(OverTcp, WatchKeepsReopeningADeadLine) {
    testing::TempDir dir;
    HangingUpServer hangUp;
    const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli --device tcp://127.0.0.1:" +
                            std::to_string(hangUp.Port()) + " watch";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!freopen("cli.out", "w", stdout)) _exit(126);
        if (!freopen("cli.err", "w", stderr)) _exit(126);
        execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::sleep(7);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the watch ended by itself";
    ::kill(pid, SIGINT);
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = Slurp("cli.err");
    EXPECT_EQ(Count(err, " was lost."), 1u) << err;
    EXPECT_EQ(Count(err, "trying to reopen it every 3 s"), 1u) << err;
}

// comports.cfg that cannot be read is said, and no port falls back to its default.
TEST(Ports, AnUnreadablePortFileIsSaidAndNoDefaultIsOpened) {
    testing::TempDir dir;
    ASSERT_EQ(::mkdir("comports.cfg", 0755), 0);
    EXPECT_EQ(RunCli("ports"), 0);
    EXPECT_NE(Slurp("cli.err").find("ombrix-cli: warning: cannot read comports.cfg"), std::string::npos)
        << Slurp("cli.err");
    EXPECT_EQ(Slurp("cli.out").find("COM1 = /dev/ttyS0"), std::string::npos) << Slurp("cli.out");
    EXPECT_EQ(RunCli("--port 1 status 1"), 1);
    EXPECT_NE(Slurp("cli.err").find("its default /dev/ttyS0 is not used in its place"), std::string::npos)
        << Slurp("cli.err");
}

// A temporary file a killed save left behind goes at the next start; the file it was
// meant to replace stays, and so do the user's files that only look like one.
TEST(Start, RemovesWhatAKilledSaveLeftBehind) {
    testing::TempDir dir;
    HangingUpServer hangUp;
    ASSERT_EQ(RunCli("--device tcp://127.0.0.1:" + std::to_string(hangUp.Port()) + " search"), 1);
    const std::string options = Slurp("options.cfg");
    ASSERT_FALSE(options.empty());
    { std::ofstream(".options.cfg.ombrix-tmp-Q7xZ2a") << std::string(158000, 'x'); }
    const char* const mine[] = {"notes.tmp.txt", "thesis.tmp000001", "meeting.tmp2024Q3", "budget.xls.tmpABCDEF"};
    for (const char* name : mine) {
        std::ofstream(name) << "mine";
        const struct timeval twoDaysAgo = {::time(nullptr) - 2 * 24 * 3600, 0};
        const struct timeval times[2] = {twoDaysAgo, twoDaysAgo};
        ::utimes(name, times);
    }
    RunCli("--device tcp://127.0.0.1:" + std::to_string(hangUp.Port()) + " watch --once");
    EXPECT_NE(::access(".options.cfg.ombrix-tmp-Q7xZ2a", F_OK), 0);
    for (const char* name : mine) EXPECT_EQ(Slurp(name), "mine") << name;
    EXPECT_EQ(Slurp("options.cfg"), options);
}

TEST(OverTcp, AHangUpFailsTheCommandWithAMessage) {
    testing::TempDir dir;
    HangingUpServer server;
    ASSERT_NE(server.Port(), 0);
    const std::string device = "tcp://127.0.0.1:" + std::to_string(server.Port());
    for (const char* command : {"status 1", "key 1 13", "write-block 1 1 2 3 4 00112233"}) {
        SCOPED_TRACE(command);
        const std::string cmd = std::string(OMBRIX_BIN_DIR) + "/ombrix-cli --device " + device + " " + command +
                                " > cli.out 2> cli.err";
        const int raw = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
        EXPECT_EQ(WEXITSTATUS(raw), 1);
        EXPECT_NE(Slurp("cli.err").find("ombrix-cli: The line " + device + " was lost.\n"), std::string::npos)
            << Slurp("cli.err");
    }
}

}  // namespace
}  // namespace ombrix::line_lost
