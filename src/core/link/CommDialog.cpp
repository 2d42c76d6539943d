#include "link/CommDialog.h"

#include <algorithm>

#include "app/ProgramStrings.h"

namespace ombrix {
namespace {

void Fill(CommDialogList* list, const char* label, std::initializer_list<std::pair<int, uint32_t>> items,
          uint32_t current) {
    list->label = label;
    for (const auto& [stringId, value] : items) {
        const char* text = ProgramString(stringId);
        list->items.push_back({text ? text : "", value});
        if (value == current) list->selected = static_cast<int>(list->items.size()) - 1;
    }
}

uint32_t SelectedValue(const CommDialogList& list, uint32_t fallback) {
    if (list.selected < 0 || list.selected >= static_cast<int>(list.items.size())) return fallback;
    return list.items[static_cast<size_t>(list.selected)].value;
}

}  // namespace

CommDialogModel BuildCommDialog(const Link& link) {
    const CommSettings& s = link.settings;
    CommDialogModel m;
    m.port.label = "&Port:";
    for (int n = 1; n <= 4; ++n) {
        m.port.items.push_back({std::string(ProgramString(5010)) + std::to_string(n), static_cast<uint32_t>(n)});
    }
    if (s.port >= 1 && s.port <= 4) m.port.selected = s.port - 1;
    m.port.enabled = s.connected == 0;
    Fill(&m.baud, "&Baud Rate:",
         {{5020, 110}, {5021, 300}, {5022, 600}, {5023, 1200}, {5024, 2400}, {5025, 4800}, {5026, 9600}},
         s.baudRate);
    m.dataBits.label = "&Data Bits:";
    for (uint32_t bits = 5; bits <= 8; ++bits) {
        m.dataBits.items.push_back({std::to_string(bits), bits});
        if (bits == s.dataBits) m.dataBits.selected = static_cast<int>(bits - 5);
    }
    m.dataBits.enabled = false;
    Fill(&m.parity, "P&arity:", {{5030, 0}, {5031, 2}, {5032, 1}}, s.parity);
    m.parity.enabled = false;
    Fill(&m.stopBits, "&Stop Bits:", {{5040, 0}, {5041, 1}, {5042, 2}}, s.stopBits);
    m.stopBits.enabled = false;
    m.devicePath = ConnectionPath(link);
    return m;
}

std::string CommDialogPortPath(const Link& link, int portRow) {
    if (!link.deviceOverride.empty()) return link.deviceOverride;
    return link.portMap.Resolve(portRow + 1);
}

bool ApplyCommDialog(Link& link, const CommDialogModel& m, const std::string& commFilePath) {
    CommSettings& s = link.settings;
    // A list with nothing selected keeps its setting rather than storing garbage.
    s.port = static_cast<uint8_t>(SelectedValue(m.port, s.port));
    s.baudRate = SelectedValue(m.baud, s.baudRate);
    s.dataBits = static_cast<uint8_t>(SelectedValue(m.dataBits, s.dataBits));
    s.parity = static_cast<uint8_t>(SelectedValue(m.parity, s.parity));
    s.stopBits = static_cast<uint8_t>(SelectedValue(m.stopBits, s.stopBits));
    return SaveCommSettings(commFilePath, s, link.currentAddress, nullptr);
}

std::vector<std::string> CommDialogDeviceChoices(const Link& link, int portRow,
                                                 const std::vector<SerialCandidate>& present) {
    std::vector<std::string> out{link.portMap.Resolve(portRow + 1)};
    for (const SerialCandidate& c : present) {
        if (std::find(out.begin(), out.end(), c.path) == out.end()) out.push_back(c.path);
    }
    return out;
}

bool ApplyPortDevice(Link& link, int port, const std::string& device, const std::string& mapFilePath,
                     SysError* error) {
    const bool toDefault = device.empty() || device == "/dev/ttyS" + std::to_string(port - 1);
    if (toDefault ? !link.portMap.Mapped(port) : link.portMap.Mapped(port) && link.portMap.Resolve(port) == device)
        return true;
    if (!SetComPortMapping(mapFilePath, port, toDefault ? std::string() : device, error)) return false;
    ComPortMap reread;
    reread.LoadFile(mapFilePath);
    link.portMap = reread;
    return true;
}

}  // namespace ombrix
