#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "platform/Rfc2217.h"

namespace ombrix {

using namespace telnet;

std::vector<uint8_t> TelnetComPortCodec::Greeting() {
    return {kIac, kWill, kComPort, kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kSuppressGoAhead,
            kIac, kDo, kSuppressGoAhead};
}

void TelnetComPortCodec::EncodeData(const uint8_t* data, size_t n, std::vector<uint8_t>* out) {
    for (size_t i = 0; i < n; ++i) {
        out->push_back(data[i]);
        if (data[i] == kIac) out->push_back(kIac);
    }
}

namespace {

void Subnegotiation(std::vector<uint8_t>* out, uint8_t command, const std::vector<uint8_t>& value) {
    out->insert(out->end(), {kIac, kSb, kComPort, command});
    TelnetComPortCodec::EncodeData(value.data(), value.size(), out);
    out->insert(out->end(), {kIac, kSe});
}

}  // namespace

std::vector<uint8_t> TelnetComPortCodec::LineCommands(const LineSettings& s) {
    std::vector<uint8_t> out;
    Subnegotiation(&out, kSetBaudRate,
                   {static_cast<uint8_t>(s.baudRate >> 24), static_cast<uint8_t>(s.baudRate >> 16),
                    static_cast<uint8_t>(s.baudRate >> 8), static_cast<uint8_t>(s.baudRate)});
    Subnegotiation(&out, kSetDataSize, {s.dataBits});
    // On the wire: 1 none, 2 odd, 3 even; stop bits 1 one, 2 two, 3 one and a half.
    Subnegotiation(&out, kSetParity, {static_cast<uint8_t>(s.parity <= 2 ? s.parity + 1 : 1)});
    static const uint8_t kStop[] = {1, 3, 2};
    Subnegotiation(&out, kSetStopSize, {s.stopBits <= 2 ? kStop[s.stopBits] : uint8_t{1}});
    // Outbound flow control: 1 none, 2 XON/XOFF, 3 RTS/CTS.
    const uint8_t flow = (s.flowControl & 2) ? 3 : (s.flowControl & 4) ? 2 : 1;
    Subnegotiation(&out, kSetControl, {flow});
    return out;
}

std::vector<uint8_t> TelnetComPortCodec::DtrCommand(bool on) {
    std::vector<uint8_t> out;
    Subnegotiation(&out, kSetControl, {static_cast<uint8_t>(on ? 8 : 9)});
    return out;
}

std::vector<uint8_t> TelnetComPortCodec::PurgeCommand() {
    std::vector<uint8_t> out;
    Subnegotiation(&out, kPurgeData, {3});  // both directions
    return out;
}

void TelnetComPortCodec::Decode(const uint8_t* in, size_t n, std::vector<uint8_t>* data,
                                std::vector<uint8_t>* reply) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        switch (state_) {
            case State::Data:
                if (b == kIac) state_ = State::Iac;
                else data->push_back(b);
                break;
            case State::Iac:
                if (b == kIac) {
                    data->push_back(kIac);
                    state_ = State::Data;
                } else if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    state_ = State::Negotiate;
                } else if (b == kSb) {
                    sub_.clear();
                    state_ = State::Sub;
                } else {
                    state_ = State::Data;  // go-ahead, no-op and the like carry nothing
                }
                break;
            case State::Negotiate: {
                const bool ours = b == kComPort || b == kBinary || b == kSuppressGoAhead;
                // Agree to what we asked for; refuse everything else, as a telnet client must.
                if (verb_ == kDo) reply->insert(reply->end(), {kIac, ours ? kWill : kWont, b});
                else if (verb_ == kWill) reply->insert(reply->end(), {kIac, ours ? kDo : kDont, b});
                state_ = State::Data;
                break;
            }
            case State::Sub:
                if (b == kIac) state_ = State::SubIac;
                else if (sub_.size() < 64) sub_.push_back(b);
                break;
            case State::SubIac:
                if (b == kSe) {
                    EndSubnegotiation();
                    state_ = State::Data;
                } else {
                    if (sub_.size() < 64) sub_.push_back(b);
                    state_ = State::Sub;
                }
                break;
        }
    }
}

void TelnetComPortCodec::EndSubnegotiation() {
    if (sub_.size() == 6 && sub_[0] == kComPort && sub_[1] == kSetBaudRate + kServerOffset) {
        serverBaud_ = (uint32_t{sub_[2]} << 24) | (uint32_t{sub_[3]} << 16) | (uint32_t{sub_[4]} << 8) | sub_[5];
    }
}

namespace {

// How long Configure waits for the server to confirm the speed. Servers that cannot set
// the line (a pseudo-terminal has no modem lines) may never answer some commands.
constexpr int kConfirmTimeoutMs = 1000;

class Rfc2217Device final : public SerialDevice {
public:
    explicit Rfc2217Device(int fd) : fd_(fd) { Send(TelnetComPortCodec::Greeting()); }
    ~Rfc2217Device() override { ::close(fd_); }

    bool Configure(const LineSettings& settings, SysError* error) override {
        if (!Send(TelnetComPortCodec::LineCommands(settings))) {
            if (error) *error = MakeSysError(SysErrorCode::LineDropped, "serial device server");
            return false;
        }
        for (int waited = 0; waited < kConfirmTimeoutMs && codec_.ServerBaudRate() != settings.baudRate && !dropped_;
             waited += 50)
            WaitInput(50);
        if (codec_.ServerBaudRate() != 0 && codec_.ServerBaudRate() != settings.baudRate) {
            if (error) *error = MakeSysError(SysErrorCode::Unsupported, std::to_string(settings.baudRate) + " baud");
            return false;
        }
        return !dropped_;
    }

    bool PutByte(uint8_t byte) override { return PutBytes(&byte, 1); }
    bool PutBytes(const uint8_t* data, size_t n) override {
        std::vector<uint8_t> out;
        TelnetComPortCodec::EncodeData(data, n, &out);
        return Send(out);
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
        if (::poll(&p, 1, static_cast<int>(maxMs)) > 0) Pump();
    }
    void Purge() override {
        Send(TelnetComPortCodec::PurgeCommand());
        Pump();
        queue_.clear();
    }
    void SetDtr(bool on) override { Send(TelnetComPortCodec::DtrCommand(on)); }

private:
    bool Send(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (!dropped_ && done < bytes.size()) {
            // MSG_NOSIGNAL: a server that hung up must not end the program with SIGPIPE.
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                // A stalled write loses this write only; the protocol notices the missing answer.
                if (::poll(&p, 1, static_cast<int>(kWriteTimeoutMs)) <= 0) return false;
                if (p.revents & (POLLHUP | POLLERR)) dropped_ = true;
            } else {
                dropped_ = true;
            }
        }
        return !dropped_;
    }

    void Pump() {
        if (dropped_) return;
        uint8_t buf[512];
        for (;;) {
            const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                std::vector<uint8_t> data, reply;
                codec_.Decode(buf, static_cast<size_t>(n), &data, &reply);
                for (uint8_t b : data) {
                    // A server that floods is cut off here rather than growing memory without bound.
                    if (queue_.size() < kInputQueueSize) queue_.push_back(b);
                }
                if (!reply.empty()) Send(reply);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            dropped_ = true;  // closed by the server, or reset
            return;
        }
    }

    int fd_;
    bool dropped_ = false;
    TelnetComPortCodec codec_;
    std::deque<uint8_t> queue_;
};

}  // namespace

std::unique_ptr<SerialDevice> OpenRfc2217(const std::string& path, SysError* error) {
    static const std::string kScheme = "rfc2217://";
    const int fd = ConnectTcp("tcp://" + path.substr(kScheme.size()), path, error);
    if (fd < 0) return nullptr;
    return std::make_unique<Rfc2217Device>(fd);
}

}  // namespace ombrix
