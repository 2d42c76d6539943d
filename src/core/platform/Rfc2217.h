#pragma once
// Telnet with the COM-port control option: a network serial server that takes its line
// settings (speed, character format, flow control, DTR/RTS) from the client, so a bus
// behind such a server works like a local port. The codec is kept apart from the socket
// so the byte-level rules can be checked without a server.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

namespace ombrix {

namespace telnet {
constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// Client-to-server COM-port commands; the server answers with the same code + 100.
constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5,
                  kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;
}  // namespace telnet

class TelnetComPortCodec {
public:
    // What the client says first: it will speak the COM-port option, and binary both ways
    // so that no byte of a frame is translated.
    static std::vector<uint8_t> Greeting();
    // Data bytes as they go on the connection (IAC doubled).
    static void EncodeData(const uint8_t* data, size_t n, std::vector<uint8_t>* out);
    // The COM-port commands for one set of line settings, and for DTR.
    static std::vector<uint8_t> LineCommands(const LineSettings& settings);
    static std::vector<uint8_t> DtrCommand(bool on);
    static std::vector<uint8_t> PurgeCommand();

    // Feeds received bytes: data goes to `data`, negotiation answers the client owes go
    // to `reply`. Commands may be split across calls.
    void Decode(const uint8_t* in, size_t n, std::vector<uint8_t>* data, std::vector<uint8_t>* reply);
    // The last speed the server reported back, 0 before any.
    uint32_t ServerBaudRate() const { return serverBaud_; }

private:
    enum class State { Data, Iac, Negotiate, Sub, SubIac };
    void EndSubnegotiation();

    State state_ = State::Data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> sub_;
    uint32_t serverBaud_ = 0;
};

// rfc2217://HOST:PORT
std::unique_ptr<SerialDevice> OpenRfc2217(const std::string& path, SysError* error);

}  // namespace ombrix
