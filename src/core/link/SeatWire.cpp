#include "link/SeatWire.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>

#include "link/Commands.h"

namespace ombrix {

std::vector<uint8_t> EncodeSeatMessage(uint8_t type, const uint8_t* data, size_t n) {
    std::vector<uint8_t> out;
    out.reserve(4 + n);
    out.push_back(type);
    out.push_back(static_cast<uint8_t>(n >> 16));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(n));
    if (n) out.insert(out.end(), data, data + n);
    return out;
}

std::vector<uint8_t> EncodeSeatMessage(uint8_t type, const std::string& text) {
    return EncodeSeatMessage(type, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void SeatReader::Feed(const uint8_t* data, size_t n) {
    if (spoiled_) return;
    // What was handed out is dropped before the buffer grows, so it never holds more than
    // one message and the start of the next.
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + n);
}

std::optional<SeatMessage> SeatReader::Next() {
    if (spoiled_ || buffer_.size() - start_ < 4) return std::nullopt;
    const uint8_t* p = buffer_.data() + start_;
    const size_t length = (static_cast<size_t>(p[1]) << 16) | (static_cast<size_t>(p[2]) << 8) | p[3];
    if (length > kSeatMaxPayload) {
        spoiled_ = true;
        buffer_.clear();
        start_ = 0;
        return std::nullopt;
    }
    if (buffer_.size() - start_ < 4 + length) return std::nullopt;
    SeatMessage m;
    m.type = p[0];
    m.payload.assign(p + 4, p + 4 + length);
    start_ += 4 + length;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return m;
}

namespace {

// The folder of the system's line locks: every user may make a file there, a restart
// empties it.
constexpr char kSeatFolder[] = "/run/lock";

}  // namespace

std::string SeatSocketPath(const std::string& linePath) {
    const std::string folder = std::string(kSeatFolder) + "/ombrix-seat-";
    for (const char* scheme : {"tcp://", "rfc2217://"}) {
        const std::string s = scheme;
        if (linePath.compare(0, s.size(), s) != 0) continue;
        std::string name = s.substr(0, s.size() - 3) + "-";
        for (char c : linePath.substr(s.size())) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
            name += plain ? c : '_';
        }
        // A socket's name has room for about a hundred bytes.
        if (name.size() > 64) return {};
        return folder + name;
    }
    struct stat st {};
    if (linePath.empty() || ::stat(linePath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    return folder + std::to_string(major(st.st_rdev)) + "." + std::to_string(minor(st.st_rdev));
}

bool ParseWireRequest(const uint8_t* data, size_t n, RequestFrame* frame) {
    if (n != 9 || data[0] != kStartByte) return false;
    RequestFrame f;
    f.b[0] = data[1];
    for (size_t i = 1; i <= 7; ++i) f.b[i] = static_cast<uint8_t>(data[i + 1] - f.b[0]);
    if (f.b[7] != FrameChecksum(f)) return false;
    *frame = f;
    return true;
}

bool RequestChangesProjector(uint8_t command) {
    switch (command) {
        case kCmdReadIdentity:
        case kCmdReadLocation:
        case kCmdReadRuntime:
        case kCmdReadSerialNumber:
        case kCmdReadIdNumber:
        case kCmdReadStatus:
        case kCmdReadBlockData:
        case kCmdReadParameter: return false;
        default: return true;
    }
}

std::string RequestName(uint8_t command) {
    switch (command) {
        case kCmdForceBlock: return "force block";
        case kCmdFreeBlock: return "free block";
        case kCmdWriteBlockData: return "write block";
        case kCmdWriteParameter: return "write parameter";
        case kCmdIris: return "iris";
        case kCmdIrisFunction: return "iris function";
        case kCmdReadIdentity: return "read identity";
        case kCmdReadLocation: return "read location";
        case kCmdReadRuntime: return "read running hours";
        case kCmdReadSerialNumber: return "read serial number";
        case kCmdReadIdNumber: return "read id number";
        case kCmdReadStatus: return "read status";
        case kCmdReadBlockData: return "read block";
        case kCmdReadParameter: return "read parameter";
        default: break;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "key %u", command);
    return buf;
}

}  // namespace ombrix
