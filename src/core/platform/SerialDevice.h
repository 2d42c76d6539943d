#pragma once
// The serial line as the protocol sees it: bytes in, bytes out, how many are waiting,
// and a way to sleep until more may have come. A tty, a pty, a TCP serial server and the
// in-process simulator all look the same from here.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SystemError.h"

namespace ombrix {

// What a device keeps of unread input, like a driver's queue; more is dropped.
constexpr size_t kInputQueueSize = 16384;
// How long one byte may wait for room in the driver's output queue.
constexpr uint32_t kWriteTimeoutMs = 5000;

struct LineSettings {
    uint32_t baudRate = 9600;
    uint8_t dataBits = 8;
    uint8_t parity = 0;       // 0 none, 1 odd, 2 even
    uint8_t stopBits = 0;     // 0 one, 1 one and a half, 2 two
    uint8_t flowControl = 0;  // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    virtual bool Configure(const LineSettings& settings, SysError* error) = 0;
    virtual bool PutByte(uint8_t byte) = 0;
    // A whole frame or data run in one write where the device can, so it leaves as one
    // burst and costs one system call; byte by byte otherwise.
    virtual bool PutBytes(const uint8_t* data, size_t n) {
        for (size_t i = 0; i < n; ++i)
            if (!PutByte(data[i])) return false;
        return true;
    }
    // Bytes waiting to be read.
    virtual int InputCount() = 0;
    // True once the line has gone: hang-up, unplugged adapter, closed connection.
    virtual bool LineDropped() = 0;
    // The next waiting byte, or -1 when none is waiting.
    virtual int GetByte() = 0;
    // Sleeps until input arrives, the line drops, or maxMs pass.
    virtual void WaitInput(uint32_t maxMs) = 0;
    // Drops whatever is queued in both directions.
    virtual void Purge() = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void ResetDevice() {}
    // A reply to an unanswered request may still come for quietMs: the line's next holder
    // (another program, after this one lets go) is told, so that only it waits, and only
    // for what is left. Written and read under the line's lock. False when this device
    // cannot tell anyone: then its holder waits it out itself.
    virtual bool HandOverQuiet(uint32_t quietMs) {
        (void)quietMs;
        return false;
    }
    // This program takes the line for an exchange (true) or gives it back: a line lent
    // by the service asks the service for its turn. False when no turn was had.
    virtual bool Lease(bool take) {
        (void)take;
        return true;
    }
    // A descriptor that polls readable when input may have come; -1 when there is none.
    virtual int WaitHandle() const { return -1; }
    // What the line's previous holder handed over: for how many more ms a late reply to
    // its request may come.
    virtual uint32_t QuietLeft() { return 0; }
};

class DeviceOpener {
public:
    virtual ~DeviceOpener() = default;
    // path: a tty or pty device, tcp://HOST:PORT, or rfc2217://HOST:PORT.
    virtual std::unique_ptr<SerialDevice> Open(const std::string& path, SysError* error) = 0;
};

// Opens ttys, ptys, tcp:// serial device servers and rfc2217:// ones that take their
// line settings from us.
class SystemDeviceOpener final : public DeviceOpener {
public:
    std::unique_ptr<SerialDevice> Open(const std::string& path, SysError* error) override;
};

// A connected socket as a serial line (a serial device server); takes ownership of fd.
std::unique_ptr<SerialDevice> AdoptSocket(int fd, uint32_t writeTimeoutMs = kWriteTimeoutMs);

// A serial device server that hangs up must end the exchange, not the process: called at
// start-up by both programs, beside the MSG_NOSIGNAL of every socket write.
void IgnoreBrokenPipe();

bool ParseTcpAddress(const std::string& path, std::string* host, uint16_t* port);
// Connects to tcp://HOST:PORT (non-blocking socket, 5 s to connect); errors name `path`.
// The descriptor, or -1.
int ConnectTcp(const std::string& address, const std::string& path, SysError* error);

}  // namespace ombrix
