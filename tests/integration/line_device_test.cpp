// The operating system's side of the line: sockets that stall or hang up, a pty that
// another program holds or a killed one left behind, a device that never stops talking.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "LineServer.h"
#include "link/Commands.h"
#include "platform/RecordingUi.h"

namespace ombrix {
namespace {

TEST(SocketLine, AStalledWriteLosesOneByteNotTheLine) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
    int small = 1;
    ::setsockopt(sv[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    auto device = AdoptSocket(sv[0], 20);
    int written = 0;
    while (device->PutByte(0x41) && written < 10'000'000) ++written;
    ASSERT_GT(written, 0);
    EXPECT_FALSE(device->LineDropped());
    // Once the other side reads again, bytes go through.
    char sink[65536];
    while (::read(sv[1], sink, sizeof sink) > 0) {
    }
    EXPECT_TRUE(device->PutByte(0x42));
    ::close(sv[1]);
}

TEST(SocketLine, APeerThatHungUpEndsTheLineNotTheProcess) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
    auto device = AdoptSocket(sv[0], 20);
    ::close(sv[1]);
    // SIGPIPE is not ignored in this process: a plain write would end it here.
    EXPECT_FALSE(device->PutByte(0x02));
    EXPECT_TRUE(device->LineDropped());
}

class PtyLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.OpenPty());
        path_ = server_.PtyPath();
    }
    VirtualClock clock_;
    sim::SimBus bus_;
    sim::LineServer server_{bus_, clock_};
    std::string path_;
};

TEST_F(PtyLine, OneProgramAtATimeAndNothingLeftBehind) {
    SystemDeviceOpener opener;
    SysError error;
    auto first = opener.Open(path_, &error);
    ASSERT_TRUE(first) << error.text;
    // Exclusive mode would outlive a killed holder; the lock does not.
    const int probe = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    int exclusive = -1;
    ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(probe);

    Link link(clock_, opener);
    link.deviceOverride = path_;
    Env env;
    EXPECT_EQ(SetupConnection(env, link, kOwnerTool), 0);
    EXPECT_EQ(link.lastError.code, SysErrorCode::Busy);
    EXPECT_EQ(OpenFailureText(link), "Cannot open " + path_ + ": busy, held by another program.");
    first.reset();
    EXPECT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    CloseConnectionAll(link);

    // A holder killed outright leaves the device usable.
    const pid_t child = ::fork();
    if (child == 0) {
        SystemDeviceOpener o;
        auto held = o.Open(path_, nullptr);
        ::raise(SIGKILL);
        ::_exit(held ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(opener.Open(path_, &error)) << error.text;
}

TEST_F(PtyLine, ADeviceThatNeverStopsTalkingFailsEachCommandInTime) {
    // The far side of the pty streams bytes for as long as the test runs.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        const std::vector<uint8_t> noise(512, 0x55);
        while (!stop.load()) {
            if (::write(master, noise.data(), noise.size()) < 0) ::usleep(100);
        }
    });
    SteadyClock clock;
    SystemDeviceOpener opener;
    Link link(clock, opener);
    link.deviceOverride = slave;
    Env env;
    ASSERT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    while (link.device->InputCount() == 0) clock.Nap(1);
    struct Case {
        const char* label;
        std::function<int()> call;
        uint64_t waits;  // the command's own settle and closing waits
    };
    StatusFlags flags;
    uint32_t valid = 0;
    std::string text;
    const Case cases[] = {
        {"key", [&] { return KeyCommand(link, 1, 0x0D); }, 0},
        {"status", [&] { return ReadStatus(link, 1, &flags, &valid); }, 700},
        {"serial", [&] { return ReadSerialNumber(link, 1, &text); }, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const uint64_t t0 = clock.TickMs();
        EXPECT_EQ(c.call(), kNoAck);
        EXPECT_LT(clock.TickMs() - t0, c.waits + kFlushLimitMs + 1000);
        EXPECT_LE(link.device->InputCount(), static_cast<int>(kInputQueueSize));
    }
    stop = true;
    talker.join();
    CloseConnectionAll(link);
    ::close(master);
}

}  // namespace
}  // namespace ombrix
