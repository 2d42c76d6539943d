#pragma once
// The serial line settings and comm.cfg, plus the mapping from COM numbers to devices.
#include <cstdint>
#include <map>
#include <set>
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
// line is never taken as open, whatever the file says. *problem (when asked for) names
// the file and why, when it is there but cannot be read or is cut short: its port is
// then unknown, and a shell tool must not take the default for it.
bool LoadCommSettings(const std::string& path, CommSettings* settings, uint8_t* currentAddress,
                      std::string* problem = nullptr);
// What a shell tool says instead of opening the default port when comm.cfg's problem
// (from LoadCommSettings) leaves the port unknown.
std::string CommFileRefusalText(const std::string& problem);
bool SaveCommSettings(const std::string& path, const CommSettings& settings, uint8_t currentAddress,
                      SysError* error);

// COMn → device path. Lines of comports.cfg read "COMn = /dev/ttyUSB0" or
// "COMn = tcp://host:port"; '#' starts a comment. Unmapped ports use /dev/ttyS{n-1}.
//
// A file that is there but cannot be read (a folder, a FIFO, a link loop, no
// permission, too large) may map any port, so every port is refused rather than led to
// its default, which is another real port than the one the user set up; a line that
// names COMn but cannot be read refuses that port. A missing file maps nothing.
class ComPortMap {
public:
    // False when the file is there but unreadable or has a bad line (see Problem()).
    bool LoadFile(const std::string& path);
    bool Parse(const std::string& text, std::string* firstError);
    std::string Resolve(int port) const;
    bool Mapped(int port) const { return map_.count(port) != 0; }
    void Set(int port, const std::string& device) {
        map_[port] = device;
        refused_.erase(port);
    }
    // The port has no device the file meant for it: it must not be opened at all.
    bool Refused(int port) const { return !Mapped(port) && (refuseAll_ || refused_.count(port) != 0); }
    // What is wrong with the file, naming it and the reason; empty when nothing is.
    const std::string& Problem() const { return problem_; }
    // Why a refused port is not opened.
    std::string RefusalText(int port) const;

private:
    std::map<int, std::string> map_;
    std::set<int> refused_;
    bool refuseAll_ = false;
    std::string problem_;
};

constexpr size_t kComPortMapMaxSize = 64 * 1024;

std::string ComPortName(int port);  // "COM2"

}  // namespace ombrix
