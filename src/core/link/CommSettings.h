#pragma once
// The serial line settings and comm.cfg, plus the mapping from COM numbers to devices.
#include <cstdint>
#include <map>
#include <string>

#include "platform/SystemError.h"

namespace ombrix {

struct CommSettings {
    uint32_t portHandle = 0;
    uint8_t port = 2;
    uint8_t unused[3] = {0, 0, 0};
    uint32_t connected = 0;
    uint32_t reserved = 0;
    uint8_t dataBits = 8;
    uint8_t flowControl = 0;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
    uint32_t baudRate = 9600;
};

constexpr uint8_t kDefaultCurrentAddress = 9;
constexpr size_t kCommFileSize = 25;
extern const char kCommFileName[];      // "comm.cfg"
extern const char kComPortMapFileName[];  // "comports.cfg"

// Reads comm.cfg. A missing or short file gives the defaults (and address 9); the
// line is never taken as open, whatever the file says.
bool LoadCommSettings(const std::string& path, CommSettings* settings, uint8_t* currentAddress);
bool SaveCommSettings(const std::string& path, const CommSettings& settings, uint8_t currentAddress,
                      SysError* error);

// COMn → device path. Lines of comports.cfg read "COMn = /dev/ttyUSB0" or
// "COMn = tcp://host:port"; '#' starts a comment. Unmapped ports use /dev/ttyS{n-1}.
class ComPortMap {
public:
    bool LoadFile(const std::string& path);
    bool Parse(const std::string& text, std::string* firstError);
    std::string Resolve(int port) const;
    bool Mapped(int port) const { return map_.count(port) != 0; }
    void Set(int port, const std::string& device) { map_[port] = device; }

private:
    std::map<int, std::string> map_;
};

std::string ComPortName(int port);  // "COM2"

}  // namespace ombrix
