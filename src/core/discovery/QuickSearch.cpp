#include "discovery/QuickSearch.h"

#include <algorithm>
#include <sstream>

#include "discovery/AddressSets.h"
#include "discovery/Search.h"
#include "link/Commands.h"
#include "link/Frame.h"
#include "platform/Files.h"

namespace ombrix {
namespace {

// The ordinary status request's closing wait: a projector that answered gets the same
// rest before the next request as it would in the ordinary search.
constexpr uint32_t kStatusClosingWaitMs = 300;
constexpr size_t kQuickFileMaxSize = 4096;

bool ParseUnsigned(const std::string& text, uint32_t max, uint32_t* out) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > max) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

}  // namespace

const char kQuickSearchFileName[] = "quicksearch.cfg";

bool LoadQuickSearchOptions(const std::string& path, QuickSearchOptions* options) {
    *options = QuickSearchOptions{};
    if (!FileExists(path)) return true;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes, nullptr, kQuickFileMaxSize)) return false;
    QuickSearchOptions read;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        if (key == "quick-search") {
            if (value != "on" && value != "off") return false;
            read.enabled = value == "on";
        } else if (key == "margin-ms") {
            if (!ParseUnsigned(value, kQuickMaxMarginMs, &read.marginMs)) return false;
        } else {
            return false;
        }
    }
    *options = read;
    return true;
}

bool SaveQuickSearchOptions(const std::string& path, const QuickSearchOptions& o, SysError* error) {
    const std::string text = std::string("quick-search = ") + (o.enabled ? "on" : "off") +
                             "\nmargin-ms = " + std::to_string(std::min(o.marginMs, kQuickMaxMarginMs)) + "\n";
    return WriteFileAtomic(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

bool ToggleQuickSearch(const std::string& path, bool* saved) {
    QuickSearchOptions o;
    LoadQuickSearchOptions(path, &o);
    const bool before = o.enabled;
    o.enabled = !before;
    *saved = SaveQuickSearchOptions(path, o, nullptr);
    return *saved ? o.enabled : before;
}

uint32_t CharacterTimeUs(const CommSettings& s) {
    const uint32_t bits = 1u + s.dataBits + (s.parity != 0 ? 1u : 0u) + (s.stopBits != 0 ? 2u : 1u);
    const uint32_t baud = std::max<uint32_t>(s.baudRate, 1);
    return static_cast<uint32_t>((static_cast<uint64_t>(bits) * 1000000u + baud - 1) / baud);
}

uint32_t QuickAckTimeoutMs(const CommSettings& s, uint32_t marginMs) {
    // Nine request bytes out, one acknowledgement back.
    const uint64_t wireUs = static_cast<uint64_t>(CharacterTimeUs(s)) * 10u;
    const uint64_t ms = (wireUs + 999) / 1000 + std::min(marginMs, kQuickMaxMarginMs);
    return static_cast<uint32_t>(std::max<uint64_t>(ms, kQuickMinAckTimeoutMs));
}

bool QuickProbe(Link& link, uint8_t address, uint32_t ackTimeoutMs) {
    link.lock.AcquireForeground();
    RequestFrame frame = BuildRequest(address, kCmdReadStatus, 0, 0, 0, 0);
    FlushInput(link);
    const auto wire = WireBytes(frame);
    PutBytes(link, wire.data(), wire.size());
    const bool answered = WaitForBytes(link, ackTimeoutMs, 1) != 0;
    // After an acknowledgement the answer follows: read its seven bytes as the ordinary
    // exchange would, so they are gone before anything else is sent.
    if (answered && GetByte(link) != kNack) ReadAnswer(link, frame);
    link.lock.ReleaseForeground(false);
    if (answered) {
        link.clock.WaitMs(kStatusClosingWaitMs);
        // Whatever a misbehaving projector sent beyond the framing has arrived by now.
        FlushInput(link);
    }
    return answered;
}

namespace {

AddressProbe QuickAddressProbe(ProgramState& s, const QuickSearchOptions& q) {
    const uint32_t ackTimeoutMs = QuickAckTimeoutMs(s.link.settings, q.marginMs);
    return [&s, ackTimeoutMs](int32_t address, ProjectorRecord* record) {
        // Only an address that answers the short probe is asked the ordinary way.
        if (QuickProbe(s.link, static_cast<uint8_t>(address), ackTimeoutMs))
            return ProbeAddress(s.link, s.env, address, record, &s.statusFlags, false);
        ProbeOutcome silent;
        silent.suffix = " not found ...";
        return silent;
    };
}

}  // namespace

bool QuickSearchConnectedProjectors(ProgramState& s, const QuickSearchOptions& q) {
    return SearchConnectedProjectors(s, QuickAddressProbe(s, q));
}

AddressProbe ConfiguredSearchProbe(ProgramState& s) {
    QuickSearchOptions q;
    LoadQuickSearchOptions(kQuickSearchFileName, &q);
    if (q.enabled) return QuickAddressProbe(s, q);
    return [&s](int32_t address, ProjectorRecord* record) {
        return ProbeAddress(s.link, s.env, address, record, &s.statusFlags, false);
    };
}

bool RunConfiguredSearch(ProgramState& s) { return SearchConnectedProjectors(s, ConfiguredSearchProbe(s)); }

}  // namespace ombrix
