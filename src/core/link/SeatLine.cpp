#include "link/SeatLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "data/JsonInput.h"
#include "link/SeatWire.h"

namespace ombrix {
namespace {

uint64_t SeatClockMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

// How long the service may take to welcome a seat, and to grant a lease: it grants one
// when the line is free of its own exchanges and of other seats' leases, each of them
// bounded by the lease cap.
constexpr uint32_t kWelcomeWaitMs = 5000;
constexpr uint32_t kLeaseWaitMs = 2 * kSeatLeaseCapMs;

class SeatDevice final : public SerialDevice {
public:
    explicit SeatDevice(int fd) : fd_(fd) {}
    ~SeatDevice() override {
        {
            std::lock_guard<std::mutex> lock(pingMutex_);
            closing_ = true;
        }
        pingWake_.notify_all();
        if (pinger_.joinable()) pinger_.join();
        ::close(fd_);
    }

    bool Greet(const SeatIdentity& who, SysError* error) {
        nlohmann::json hello = {{"program", who.program}, {"user", who.user}, {"host", who.host}, {"pid", who.pid}};
        if (!who.token.empty()) hello["token"] = who.token;
        std::unique_lock<std::mutex> lock(io_);
        if (!Send(seat::kHello, hello.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) || !AwaitLocked([&] { return welcomed_ || dropped_; }, kWelcomeWaitMs) ||
            !welcomed_) {
            if (error) {
                // No system error: the words are the server's (or that none came).
                *error = MakeSysError(SysErrorCode::Refused, "");
                error->text = closingWhy_.empty() ? "it did not welcome this program" : closingWhy_;
            }
            return false;
        }
        pinger_ = std::thread([this] { PingLoop(); });
        return true;
    }

    // The service keeps the line's settings; a seat cannot change them.
    bool Configure(const LineSettings&, SysError*) override { return true; }
    void SetDtr(bool) override {}

    bool Lease(bool take) override {
        std::unique_lock<std::mutex> lock(io_);
        if (dropped_) return false;
        if (!take) {
            leaseWanted_ = false;
            if (!leased_) return true;
            leased_ = false;
            return Send(seat::kRelease, std::string());
        }
        leaseWanted_ = true;
        if (leased_) return true;
        // An end the service told of an earlier lease is no answer to this request.
        Pump(0);
        leaseEnded_ = false;
        if (!Send(seat::kLease, std::string())) return false;
        AwaitLocked([&] { return leased_ || dropped_ || leaseEnded_; }, kLeaseWaitMs);
        leaseEnded_ = false;
        return leased_;
    }

    bool PutByte(uint8_t byte) override { return PutBytes(&byte, 1); }

    bool PutBytes(const uint8_t* data, size_t n) override {
        std::unique_lock<std::mutex> lock(io_);
        // A lease the service ended (its cap) ends this exchange: nothing is written
        // outside the line's turn.
        if (dropped_ || (leaseWanted_ && !leased_) || n > kSeatMaxPayload) return false;
        const uint64_t answersBefore = writeAnswers_;
        if (!Send(seat::kWrite, data, n)) return false;
        AwaitLocked([&] { return writeAnswers_ != answersBefore || dropped_; }, kWriteTimeoutMs);
        return writeAnswers_ != answersBefore && lastWriteTaken_;
    }

    int InputCount() override {
        std::unique_lock<std::mutex> lock(io_);
        Pump(0);
        return static_cast<int>(input_.size());
    }

    bool LineDropped() override {
        std::unique_lock<std::mutex> lock(io_);
        Pump(0);
        return dropped_;
    }

    int GetByte() override {
        std::unique_lock<std::mutex> lock(io_);
        if (input_.empty()) Pump(0);
        if (input_.empty()) return -1;
        const uint8_t b = input_.front();
        input_.pop_front();
        return b;
    }

    void WaitInput(uint32_t maxMs) override {
        std::unique_lock<std::mutex> lock(io_);
        AwaitLocked([&] { return !input_.empty() || dropped_; }, maxMs);
    }

    void Purge() override {
        std::unique_lock<std::mutex> lock(io_);
        Pump(0);
        input_.clear();
    }

    int WaitHandle() const override { return fd_; }

private:
    bool Send(uint8_t type, const std::string& text) {
        return Send(type, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }

    // One message in one piece; the pinger's go in between, never inside.
    bool Send(uint8_t type, const uint8_t* data, size_t n) {
        const std::vector<uint8_t> m = EncodeSeatMessage(type, data, n);
        std::lock_guard<std::mutex> lock(sendMutex_);
        size_t done = 0;
        const uint64_t start = SeatClockMs();
        while (done < m.size()) {
            const ssize_t w = ::send(fd_, m.data() + done, m.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (w > 0) {
                done += static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            const uint64_t waited = SeatClockMs() - start;
            if (w < 0 && errno == EAGAIN && waited < kWriteTimeoutMs) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, static_cast<int>(kWriteTimeoutMs - waited));
                continue;
            }
            dropped_ = true;
            return false;
        }
        return true;
    }

    // Reads what the service sent, waiting up to timeoutMs for the first of it.
    void Pump(int timeoutMs) {
        if (dropped_) return;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return;
        uint8_t buf[4096];
        for (;;) {
            const ssize_t r = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (r > 0) {
                reader_.Feed(buf, static_cast<size_t>(r));
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) dropped_ = true;
            break;
        }
        while (auto m = reader_.Next()) Take(*m);
        if (reader_.Spoiled()) dropped_ = true;
    }

    void Take(const SeatMessage& m) {
        switch (m.type) {
            case seat::kWelcome: welcomed_ = true; break;
            case seat::kLeased: leased_ = leaseWanted_; break;
            case seat::kLeaseEnded:
                leased_ = false;
                leaseEnded_ = true;
                break;
            case seat::kData:
                for (uint8_t b : m.payload) {
                    // As a driver's queue does: more than it keeps is dropped.
                    if (input_.size() < kInputQueueSize) input_.push_back(b);
                }
                break;
            case seat::kWritten:
            case seat::kRefused:
                lastWriteTaken_ = m.type == seat::kWritten;
                ++writeAnswers_;
                break;
            case seat::kClosing:
                closingWhy_ = Excerpt(m.Text(), 200);
                dropped_ = true;
                break;
            default: break;  // a newer service's news
        }
    }

    // Pumps until done() or maxMs pass.
    template <class Done>
    bool AwaitLocked(Done done, uint32_t maxMs) {
        const uint64_t until = SeatClockMs() + maxMs;
        Pump(0);
        while (!done()) {
            const uint64_t now = SeatClockMs();
            if (now >= until || dropped_) break;
            Pump(static_cast<int>(until - now));
        }
        return done();
    }

    // A seat that holds the line must be heard from, or the service takes it back: a
    // program stopped or hung in the middle of its turn costs the others little.
    void PingLoop() {
        std::unique_lock<std::mutex> lock(pingMutex_);
        while (!closing_) {
            pingWake_.wait_for(lock, std::chrono::milliseconds(kSeatQuietMs / 3));
            if (closing_) break;
            const std::vector<uint8_t> m = EncodeSeatMessage(seat::kPing, nullptr, 0);
            std::lock_guard<std::mutex> send(sendMutex_);
            (void)::send(fd_, m.data(), m.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }

    const int fd_;
    std::mutex io_;
    std::mutex sendMutex_;
    SeatReader reader_;
    std::deque<uint8_t> input_;
    bool welcomed_ = false;
    bool leaseWanted_ = false;
    bool leased_ = false;
    bool leaseEnded_ = false;
    std::atomic<bool> dropped_{false};
    uint64_t writeAnswers_ = 0;
    bool lastWriteTaken_ = false;
    std::string closingWhy_;

    std::mutex pingMutex_;
    std::condition_variable pingWake_;
    bool closing_ = false;
    std::thread pinger_;
};

}  // namespace

SeatIdentity ThisProcessSeat(const std::string& program) {
    SeatIdentity who;
    who.program = program.empty() ? std::string(program_invocation_short_name) : program;
    who.pid = static_cast<long>(::getpid());
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) who.host = host;
    passwd pw{};
    passwd* found = nullptr;
    char buf[1024];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found) {
        who.user = found->pw_name;
    } else {
        who.user = std::to_string(::getuid());
    }
    if (const char* token = std::getenv("OMBRIX_TOKEN")) who.token = token;
    return who;
}

std::unique_ptr<SerialDevice> OpenSeat(const std::string& socketPath, const SeatIdentity& who, SysError* error) {
    sockaddr_un addr{};
    if (socketPath.empty() || socketPath.size() >= sizeof addr.sun_path) return nullptr;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto device = std::make_unique<SeatDevice>(fd);
    if (!device->Greet(who, error)) return nullptr;
    return device;
}

bool IsServerUrl(const std::string& path) { return path.rfind("ombrix://", 0) == 0; }

std::unique_ptr<SerialDevice> OpenServerSeat(const std::string& url, const SeatIdentity& who, SysError* error) {
    const int fd = ConnectTcp("tcp://" + url.substr(std::strlen("ombrix://")), url, error);
    if (fd < 0) return nullptr;
    // Blocking from here on: every wait below has its own deadline in poll.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto device = std::make_unique<SeatDevice>(fd);
    if (!device->Greet(who, error)) return nullptr;
    return device;
}

bool IsSeat(const SerialDevice& device) { return dynamic_cast<const SeatDevice*>(&device) != nullptr; }

}  // namespace ombrix
