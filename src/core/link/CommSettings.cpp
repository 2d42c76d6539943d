#include "link/CommSettings.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "platform/Files.h"

namespace ombrix {

const char kCommFileName[] = "comm.cfg";
const char kComPortMapFileName[] = "comports.cfg";

bool LoadCommSettings(const std::string& path, CommSettings* s, uint8_t* currentAddress) {
    std::vector<uint8_t> bytes;
    bool more = false;
    *s = CommSettings{};
    // Bytes after the record are not the record's: they cost it nothing.
    if (!ReadFilePrefix(path, &bytes, nullptr, kCommFileSize, &more) || bytes.size() < 24) {
        // A file too short to hold the record is as good as none.
        *currentAddress = kDefaultCurrentAddress;
        return false;
    }
    ByteReader r(bytes);
    CommSettings f;
    r.U32(&f.portHandle);
    r.U8(&f.port);
    r.Bytes(f.unused, 3);
    r.U32(&f.connected);
    r.U32(&f.reserved);
    r.U8(&f.dataBits);
    r.U8(&f.flowControl);
    r.U8(&f.parity);
    r.U8(&f.stopBits);
    r.U32(&f.baudRate);
    uint8_t address = kDefaultCurrentAddress;
    r.U8(&address);
    // The port is never open at start-up.
    f.connected = 0;
    f.portHandle = 0;
    *s = f;
    *currentAddress = address;
    return true;
}

bool SaveCommSettings(const std::string& path, const CommSettings& s, uint8_t currentAddress, SysError* error) {
    ByteWriter w;
    w.U32(s.portHandle);
    w.U8(s.port);
    w.Bytes(s.unused, 3);
    w.U32(s.connected);
    w.U32(s.reserved);
    w.U8(s.dataBits);
    w.U8(s.flowControl);
    w.U8(s.parity);
    w.U8(s.stopBits);
    w.U32(s.baudRate);
    w.U8(currentAddress);
    return WriteFileAtomic(path, w.Data(), error);
}

std::string ComPortName(int port) { return "COM" + std::to_string(port); }

bool ComPortMap::LoadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes, nullptr, 64 * 1024)) return false;
    return Parse(std::string(bytes.begin(), bytes.end()), nullptr);
}

bool ComPortMap::Parse(const std::string& text, std::string* firstError) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool ok = true;
    auto trim = [](std::string s) {
        size_t a = 0;
        while (a < s.size() && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
        size_t b = s.size();
        while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
        return s.substr(a, b - a);
    };
    while (std::getline(in, line)) {
        ++lineNo;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        line = trim(line);
        if (line.empty()) continue;
        const auto eq = line.find('=');
        std::string key = eq == std::string::npos ? "" : trim(line.substr(0, eq));
        std::string value = eq == std::string::npos ? "" : trim(line.substr(eq + 1));
        int port = 0;
        bool good = key.size() > 3 && value.size() > 0 && key.size() <= 6;
        if (good) {
            for (int i = 0; i < 3; ++i) good = good && std::toupper(static_cast<unsigned char>(key[i])) == "COM"[i];
            for (size_t i = 3; good && i < key.size(); ++i) {
                good = std::isdigit(static_cast<unsigned char>(key[i])) != 0;
                port = port * 10 + (key[i] - '0');
            }
            good = good && port >= 1 && port <= 255;
        }
        if (!good) {
            if (ok && firstError) *firstError = "line " + std::to_string(lineNo) + ": expected COMn = DEVICE";
            ok = false;
            continue;
        }
        map_[port] = value;
    }
    return ok;
}

std::string ComPortMap::Resolve(int port) const {
    const auto it = map_.find(port);
    if (it != map_.end()) return it->second;
    return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace ombrix
