#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "platform/Rfc2217.h"
#include "platform/SerialDevice.h"

namespace ombrix {
namespace {

// Bytes are pulled from the descriptor into our own queue so that "how many are
// waiting" is exact for ttys and sockets alike.
class FdDevice : public SerialDevice {
public:
    explicit FdDevice(int fd, uint32_t writeTimeoutMs = kWriteTimeoutMs) : fd_(fd), writeTimeoutMs_(writeTimeoutMs) {}
    ~FdDevice() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool PutByte(uint8_t byte) override { return PutBytes(&byte, 1); }
    int WaitHandle() const override { return fd_; }

    bool PutBytes(const uint8_t* data, size_t n) override {
        if (dropped_) return false;
        const uint64_t start = MonotonicMs();
        size_t done = 0;
        while (done < n) {
            const ssize_t w = WriteSome(data + done, n - done);
            if (w > 0) {
                done += static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno == EAGAIN) {
                // The driver's queue is full: give it up to the write time-out. A stall
                // loses what is left of this write only; the protocol sees it as a
                // missing acknowledgement.
                const uint64_t waited = MonotonicMs() - start;
                if (waited >= writeTimeoutMs_) return false;
                pollfd p{fd_, POLLOUT, 0};
                const int r = ::poll(&p, 1, static_cast<int>(writeTimeoutMs_ - waited));
                if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) break;
                continue;
            }
            break;
        }
        if (done == n) return true;
        // Hang-up, reset or an unplugged adapter: nothing will get through any more.
        dropped_ = true;
        return false;
    }

    int InputCount() override {
        Pump();
        return static_cast<int>(queue_.size());
    }

    bool LineDropped() override {
        Pump();
        return dropped_;
    }

    int GetByte() override {
        if (queue_.empty()) Pump();
        if (queue_.empty()) return -1;
        const int b = queue_.front();
        queue_.pop_front();
        return b;
    }

    void WaitInput(uint32_t maxMs) override {
        if (dropped_) return;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(maxMs));
        if (r > 0) {
            if (p.revents & POLLIN) Pump();
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                Pump();
                dropped_ = true;
            }
        }
    }

    void Purge() override {
        PurgeDriver();
        Pump();
        queue_.clear();
    }

protected:
    virtual void PurgeDriver() {}
    virtual ssize_t WriteSome(const uint8_t* data, size_t n) { return ::write(fd_, data, n); }

    static uint64_t MonotonicMs() {
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
    }

    // Keeps at most kInputQueueSize bytes, as a driver's queue would: a device that
    // never stops talking cannot make us hold more, and one call reads a bounded amount.
    void Pump() {
        if (dropped_) return;
        uint8_t buf[256];
        for (size_t taken = 0; taken < kInputQueueSize;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                taken += static_cast<size_t>(n);
                const size_t room = kInputQueueSize - std::min(kInputQueueSize, queue_.size());
                queue_.insert(queue_.end(), buf, buf + std::min(room, static_cast<size_t>(n)));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return;
            // 0 is end of file (hang-up, closed socket); EIO is an unplugged adapter or
            // a pty whose other side is gone. Either way nothing more will come.
            dropped_ = true;
            return;
        }
    }

    int fd_;
    uint32_t writeTimeoutMs_;
    bool dropped_ = false;
    std::deque<uint8_t> queue_;
};

bool SpeedFor(uint32_t baud, speed_t* out) {
    static const struct {
        uint32_t baud;
        speed_t speed;
    } kRates[] = {{110, B110},       {300, B300},       {600, B600},       {1200, B1200},
                  {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
                  {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
                  {460800, B460800}, {921600, B921600}};
    for (const auto& r : kRates) {
        if (r.baud == baud) {
            *out = r.speed;
            return true;
        }
    }
    return false;
}

// Where the holder of a tty leaves the time until which a late reply may still come: one
// small file per device (by its number, whatever name it was opened by) in the folder of
// the system's line locks, which every user may write to and a restart empties.
constexpr char kQuietFolder[] = "/run/lock";
constexpr size_t kQuietRecordMax = 64;

uint64_t BootMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

std::string QuietRecordName(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    return std::string(kQuietFolder) + "/ombrix-quiet-" + std::to_string(major(st.st_rdev)) + "." +
           std::to_string(minor(st.st_rdev));
}

// When the device node was made: a pseudo-terminal that got the number of an earlier one
// is another line, and the earlier one's record is not its own.
std::string DeviceMade(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return {};
    return std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
}

class TtyDevice final : public FdDevice {
public:
    TtyDevice(int fd, std::string path)
        : FdDevice(fd), path_(std::move(path)), quietRecord_(QuietRecordName(fd)), made_(DeviceMade(fd)) {}
    ~TtyDevice() override { ::flock(fd_, LOCK_UN); }

    // Written beside and renamed over, so a reader never sees half a record; a record of
    // another user that cannot be replaced makes this holder wait itself.
    bool HandOverQuiet(uint32_t quietMs) override {
        if (quietRecord_.empty()) return false;
        const std::string temp = quietRecord_ + ".tmp-" + std::to_string(::getpid());
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        ::fchmod(fd, 0644);
        const std::string text = std::to_string(BootMs() + quietMs) + " " + made_ + "\n";
        const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        if (written && ::rename(temp.c_str(), quietRecord_.c_str()) == 0) return true;
        ::unlink(temp.c_str());
        return false;
    }

    uint32_t QuietLeft() override {
        if (quietRecord_.empty()) return 0;
        const int fd = ::open(quietRecord_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return 0;
        struct stat st{};
        char text[kQuietRecordMax + 1] = {};
        const ssize_t n = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::read(fd, text, kQuietRecordMax) : -1;
        ::close(fd);
        if (n <= 0) return 0;
        char* end = nullptr;
        const unsigned long long until = std::strtoull(text, &end, 10);
        const uint64_t now = BootMs();
        if (end == text || *end != ' ' || std::string(end + 1) != made_ + "\n" || until <= now) return 0;
        // The caller bounds it: a record is no reason to wait long.
        return static_cast<uint32_t>(std::min<uint64_t>(until - now, UINT32_MAX));
    }

    bool Configure(const LineSettings& s, SysError* error) override {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0) return Fail(error, errno);
        speed_t speed;
        if (!SpeedFor(s.baudRate, &speed)) return Fail(error, EINVAL);
        tcflag_t size;
        switch (s.dataBits) {
            case 5: size = CS5; break;
            case 6: size = CS6; break;
            case 7: size = CS7; break;
            case 8: size = CS8; break;
            default: return Fail(error, EINVAL);
        }
        if (s.parity > 2 || s.stopBits > 2) return Fail(error, EINVAL);

        // Binary mode: no translation, no echo, no signals.
        t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                             ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        t.c_cflag |= size | CLOCAL | CREAD;
        if (s.parity != 0) {
            t.c_cflag |= PARENB;
            if (s.parity == 1) t.c_cflag |= PARODD;
            t.c_iflag |= INPCK;
        }
        // termios has no 1.5 stop bits; the UART gives 1.5 for CSTOPB at 5 data bits.
        if (s.stopBits != 0) t.c_cflag |= CSTOPB;
        if (s.flowControl & 0x02) t.c_cflag |= CRTSCTS;
        if (s.flowControl & 0x04) {
            t.c_iflag |= IXON | IXOFF;
            t.c_cc[VSTART] = 0x11;
            t.c_cc[VSTOP] = 0x13;
        }
        // VMIN 1 makes an empty non-blocking read say EAGAIN, so a read of 0 means hang-up.
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0) return Fail(error, errno);

        // Lines not in handshake mode are held on. The tty layer has no DSR handshake, so
        // with bit 0 DTR is simply raised as the ready signal. Ptys have no modem lines.
        int bits = TIOCM_DTR;
        ::ioctl(fd_, TIOCMBIS, &bits);
        if (!(s.flowControl & 0x02)) {
            bits = TIOCM_RTS;
            ::ioctl(fd_, TIOCMBIS, &bits);
        }
        return true;
    }

    void SetDtr(bool on) override {
        int bits = TIOCM_DTR;
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits);
    }

protected:
    void PurgeDriver() override { ::tcflush(fd_, TCIOFLUSH); }

private:
    bool Fail(SysError* error, int err) {
        if (error) *error = SystemErrorFromErrno(err, path_);
        return false;
    }
    std::string path_;
    std::string quietRecord_;
    std::string made_;
};

class TcpDevice final : public FdDevice {
public:
    using FdDevice::FdDevice;
    // A serial device server keeps its own line settings.
    bool Configure(const LineSettings&, SysError*) override { return true; }
    void SetDtr(bool) override {}

protected:
    // A peer that has hung up must not kill the program with SIGPIPE.
    ssize_t WriteSome(const uint8_t* data, size_t n) override { return ::send(fd_, data, n, MSG_NOSIGNAL); }
};

std::unique_ptr<SerialDevice> OpenTty(const std::string& path, SysError* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = SystemErrorFromErrno(errno, path);
        return nullptr;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        if (error) *error = SystemErrorFromErrno(ENOTTY, path);
        return nullptr;
    }
    // One program on the line at a time; the lock is what root cannot bypass.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (error) *error = SystemErrorFromErrno(err == EWOULDBLOCK ? EBUSY : err, path);
        return nullptr;
    }
    // No TIOCEXCL: it outlives a killed program and would leave the device busy for
    // everyone after it. The lock above dies with its holder.
    return std::make_unique<TtyDevice>(fd, path);
}

std::unique_ptr<SerialDevice> OpenTcp(const std::string& path, SysError* error) {
    const int fd = ConnectTcp(path, path, error);
    if (fd < 0) return nullptr;
    return std::make_unique<TcpDevice>(fd);
}

}  // namespace

int ConnectTcp(const std::string& address, const std::string& path, SysError* error) {
    std::string host;
    uint16_t port = 0;
    if (!ParseTcpAddress(address, &host, &port)) {
        if (error) *error = MakeSysError(SysErrorCode::InvalidName, path);
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0 || !res) {
        if (error) *error = MakeSysError(SysErrorCode::NotFound, path);
        return -1;
    }
    int lastErr = ECONNREFUSED;
    for (addrinfo* a = res; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastErr = errno;
            continue;
        }
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            rc = ::poll(&p, 1, 5000);
            int soErr = 0;
            socklen_t len = sizeof soErr;
            if (rc == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) == 0 && soErr == 0) {
                rc = 0;
            } else {
                errno = rc == 0 ? ETIMEDOUT : (soErr ? soErr : errno);
                rc = -1;
            }
        }
        if (rc == 0) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::freeaddrinfo(res);
            return fd;
        }
        lastErr = errno;
        ::close(fd);
    }
    ::freeaddrinfo(res);
    if (error) *error = SystemErrorFromErrno(lastErr, path);
    return -1;
}

void IgnoreBrokenPipe() {
    struct sigaction sa {};
    sa.sa_handler = SIG_IGN;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGPIPE, &sa, nullptr);
}

std::unique_ptr<SerialDevice> AdoptSocket(int fd, uint32_t writeTimeoutMs) {
    return std::make_unique<TcpDevice>(fd, writeTimeoutMs);
}

bool ParseTcpAddress(const std::string& path, std::string* host, uint16_t* port) {
    static const std::string kScheme = "tcp://";
    if (path.compare(0, kScheme.size(), kScheme) != 0) return false;
    std::string rest = path.substr(kScheme.size());
    std::string h;
    std::string p;
    if (!rest.empty() && rest[0] == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        h = rest.substr(1, close - 1);
        p = rest.substr(close + 2);
    } else {
        const auto colon = rest.rfind(':');
        if (colon == std::string::npos) return false;
        h = rest.substr(0, colon);
        p = rest.substr(colon + 1);
    }
    if (h.empty() || p.empty() || p.size() > 5) return false;
    unsigned long value = 0;
    for (char c : p) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *host = h;
    *port = static_cast<uint16_t>(value);
    return true;
}

std::unique_ptr<SerialDevice> SystemDeviceOpener::Open(const std::string& path, SysError* error) {
    if (path.rfind("tcp://", 0) == 0) return OpenTcp(path, error);
    if (path.rfind("rfc2217://", 0) == 0) return OpenRfc2217(path, error);
    return OpenTty(path, error);
}

}  // namespace ombrix
