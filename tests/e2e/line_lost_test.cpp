// Whole processes on a TCP line that hangs up: ombrix-cli must end with a message and
// status 1, never die of a broken pipe.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "../support/TempDir.h"

namespace ombrix {
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
}  // namespace ombrix
