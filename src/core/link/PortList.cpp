#include "link/PortList.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "platform/Files.h"

namespace ombrix {
namespace {

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    return names;
}

// ttyUSB10 after ttyUSB9: by the number at the end, then by name.
bool NumericLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
        const long n = i < s.size() && s.size() - i < 9 ? std::stol(s.substr(i)) : -1;
        return std::make_pair(s.substr(0, i), n);
    };
    return split(a) < split(b);
}

std::string ReadSmallText(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes, nullptr, 4096)) return {};
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

std::string LinkTarget(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string Basename(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// "COM2" (any case, with or without blanks before '=') names port 2.
int PortOfLine(const std::string& line) {
    std::string text = line.substr(0, line.find('#'));
    const auto eq = text.find('=');
    if (eq == std::string::npos) return 0;
    const std::string key = Trim(text.substr(0, eq));
    if (key.size() < 4 || key.size() > 6) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(key[static_cast<size_t>(i)])) != "COM"[i]) return 0;
    int port = 0;
    for (size_t i = 3; i < key.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(key[i]))) return 0;
        port = port * 10 + (key[i] - '0');
    }
    return port;
}

}  // namespace

std::vector<SerialCandidate> ListSerialDevices(const std::string& devRoot, const std::string& sysRoot) {
    std::vector<SerialCandidate> out;
    const std::string byId = devRoot + "/serial/by-id";
    std::vector<std::string> ids = Entries(byId);
    std::sort(ids.begin(), ids.end());
    for (const std::string& name : ids) {
        const std::string target = LinkTarget(byId + "/" + name);
        out.push_back({byId + "/" + name, target.empty() ? std::string() : "-> " + Basename(target)});
    }
    std::vector<std::string> usb, acm, uart;
    for (const std::string& name : Entries(devRoot)) {
        if (name.rfind("ttyUSB", 0) == 0) usb.push_back(name);
        else if (name.rfind("ttyACM", 0) == 0) acm.push_back(name);
        else if (name.rfind("ttyS", 0) == 0 && name.size() > 4) uart.push_back(name);
    }
    for (auto* group : {&usb, &acm, &uart}) std::sort(group->begin(), group->end(), NumericLess);
    auto add = [&](const std::string& name, const std::string& note) { out.push_back({devRoot + "/" + name, note}); };
    for (const std::string& name : usb) add(name, "USB serial adapter");
    for (const std::string& name : acm) add(name, "USB modem-class device");
    for (const std::string& name : uart) {
        // Linux makes ttyS0-31 whether or not a UART is fitted; type 0 means none.
        const std::string type = ReadSmallText(sysRoot + "/class/tty/" + name + "/type");
        if (!type.empty() && type != "0") add(name, "on-board serial port");
    }
    return out;
}

bool SetComPortMapping(const std::string& path, int port, const std::string& device, SysError* error,
                       std::string* keptAs) {
    std::vector<uint8_t> bytes;
    SysError readError;
    if (FileExists(path) && !ReadWholeFile(path, &bytes, &readError, 64 * 1024)) {
        if (error) *error = readError;
        return false;
    }
    const std::string before(bytes.begin(), bytes.end());
    // A file that cannot be read whole is not added to: it is kept aside as it is, and
    // only its lines that can be read go on into the new one.
    bool refused = false;
    if (std::string why; ComPortMap().Parse(before, &why) == false) {
        const std::string kept = MoveFileAside(path, ".refused", error);
        if (kept.empty()) return false;
        if (keptAs) *keptAs = kept;
        refused = true;
    }
    std::istringstream in(before);
    std::string text, line;
    bool written = false;
    while (std::getline(in, line)) {
        if (std::string why; refused && !ComPortMap().Parse(line, &why)) continue;
        if (PortOfLine(line) == port) {
            if (!written && !device.empty()) text += ComPortName(port) + " = " + device + "\n";
            written = true;
            continue;
        }
        text += line + "\n";
    }
    if (!written && !device.empty()) text += ComPortName(port) + " = " + device + "\n";
    return WriteFileAtomic(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

std::vector<std::string> DescribePorts(const ComPortMap& map, const std::vector<SerialCandidate>& devices) {
    std::vector<std::string> lines;
    for (int port = 1; port <= 4; ++port) {
        if (map.Refused(port)) {
            lines.push_back(ComPortName(port) + " = ?   (not opened: comports.cfg was not read)");
            continue;
        }
        lines.push_back(ComPortName(port) + " = " + map.Resolve(port) + (map.Mapped(port) ? "" : "   (default)"));
    }
    lines.push_back("");
    if (devices.empty()) {
        lines.push_back("No serial devices found.");
    } else {
        lines.push_back("Serial devices present:");
        for (const SerialCandidate& d : devices) lines.push_back("  " + d.path + (d.note.empty() ? "" : "   " + d.note));
    }
    lines.push_back("");
    lines.push_back("A port can also lead to a pseudo-terminal or to tcp://HOST:PORT (a serial device server).");
    return lines;
}

}  // namespace ombrix
