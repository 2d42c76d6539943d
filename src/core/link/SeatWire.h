#pragma once
// What a program on a line that the service holds says to the service, and back: short
// typed messages on a stream socket. Both ends use this one encoder and one reader.
//
//   program -> service            service -> program
//   'H' hello {who I am}          'h' welcome {line, limits}
//   'L' lease the line            'l' leased      'e' lease ended (why)
//   'R' release it                'd' bytes the line gave
//   'W' bytes for the line        'k' written     'w' refused (why)
//   'P' still here                'x' closing (why)
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Frame.h"

namespace ombrix {

namespace seat {
constexpr uint8_t kHello = 'H';
constexpr uint8_t kLease = 'L';
constexpr uint8_t kRelease = 'R';
constexpr uint8_t kWrite = 'W';
constexpr uint8_t kPing = 'P';
constexpr uint8_t kWelcome = 'h';
constexpr uint8_t kLeased = 'l';
constexpr uint8_t kLeaseEnded = 'e';
constexpr uint8_t kData = 'd';
constexpr uint8_t kWritten = 'k';
constexpr uint8_t kRefused = 'w';
constexpr uint8_t kClosing = 'x';
}  // namespace seat

// The largest message either side takes: a block's data run with room to spare. A longer
// length ends the conversation before anything of it is read.
constexpr size_t kSeatMaxPayload = 1u << 16;
// A seat that says nothing for this long while it holds the line loses it; a seat pings
// at a third of it.
constexpr uint32_t kSeatQuietMs = 3000;
// How long a lease may last unless the service is told otherwise.
constexpr uint32_t kSeatLeaseCapMs = 60000;

struct SeatMessage {
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    std::string Text() const { return std::string(payload.begin(), payload.end()); }
};

// Type, three length bytes (big-endian), payload.
std::vector<uint8_t> EncodeSeatMessage(uint8_t type, const uint8_t* data, size_t n);
std::vector<uint8_t> EncodeSeatMessage(uint8_t type, const std::string& text);

// Takes bytes as they come and hands out whole messages; a length over the limit spoils
// the stream for good.
class SeatReader {
public:
    void Feed(const uint8_t* data, size_t n);
    std::optional<SeatMessage> Next();
    bool Spoiled() const { return spoiled_; }
    // Bytes of a message begun and not ended.
    size_t Pending() const { return buffer_.size() - start_; }

private:
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
    bool spoiled_ = false;
};

// The socket beside the line's lock through which the service lends the line at path: one
// per device (by its number, whatever name it was opened by) or per serial-server address.
// Empty when the path names nothing a seat could be had for.
std::string SeatSocketPath(const std::string& linePath);

// A request frame as it goes on the wire, read back: true when the nine bytes are one
// whole frame whose checksum holds.
bool ParseWireRequest(const uint8_t* data, size_t n, RequestFrame* frame);
// Whether a request changes something on the projector (the service publishes those).
bool RequestChangesProjector(uint8_t command);
// "write parameter", "force block", ... for the events; "command 0x41" otherwise.
std::string RequestName(uint8_t command);

}  // namespace ombrix
