#include "link/CommSettings.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "platform/Files.h"

namespace ombrix {

const char kCommFileName[] = "comm.cfg";
const char kComPortMapFileName[] = "comports.cfg";

bool LoadCommSettings(const std::string& path, CommSettings* s, uint8_t* currentAddress, std::string* problem) {
    std::vector<uint8_t> bytes;
    bool more = false;
    *s = CommSettings{};
    if (problem) problem->clear();
    SysError error;
    // Bytes after the record are not the record's: they cost it nothing.
    const bool read = ReadFilePrefix(path, &bytes, &error, kCommFileSize, &more);
    if (!read || bytes.size() < kCommFileSize) {
        *currentAddress = kDefaultCurrentAddress;
        if (problem && !read && FileExists(path)) *problem = "cannot read " + error.text;
        if (problem && read) {
            *problem = path + " is cut short (" + std::to_string(bytes.size()) + " of " +
                       std::to_string(kCommFileSize) + " bytes)";
        }
        if (bytes.size() < 24) return false;
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

std::string CommFileRefusalText(const std::string& problem) {
    const CommSettings defaults;
    return problem + ": it says which port the projectors are on, so no port is opened rather than the default " +
           ComPortName(defaults.port) + "; mend or remove it";
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
    SysError error;
    if (!ReadWholeFile(path, &bytes, &error, kComPortMapMaxSize)) {
        struct stat st{};
        // No file at all (a dangling link included) maps nothing; anything else that is
        // there may have been meant to.
        if (error.code == SysErrorCode::NotFound && ::lstat(path.c_str(), &st) != 0) return true;
        if (error.osError == EFBIG) error.text = path + ": larger than " + std::to_string(kComPortMapMaxSize / 1024) + " KiB";
        map_.clear();
        refuseAll_ = true;
        problem_ = "cannot read " + error.text;
        return false;
    }
    std::string why;
    if (Parse(std::string(bytes.begin(), bytes.end()), &why)) return true;
    problem_ = path + ", " + why;
    return false;
}

std::string ComPortMap::RefusalText(int port) const {
    return ComPortName(port) + " is not opened: " + problem_ + "; its default " + Resolve(port) +
           " is not used in its place";
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
            // The line was meant for this port, whatever else is wrong with it.
            size_t digits = 3;
            int named = 0;
            while (line.size() > 3 && digits < line.size() && digits < 6 &&
                   std::isdigit(static_cast<unsigned char>(line[digits]))) {
                named = named * 10 + (line[digits++] - '0');
            }
            bool com = line.size() > 3;
            for (int i = 0; com && i < 3; ++i) com = std::toupper(static_cast<unsigned char>(line[static_cast<size_t>(i)])) == "COM"[i];
            if (com && digits > 3 && named >= 1 && named <= 255) refused_.insert(named);
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
