#include "discovery/QuickSearch.h"

#include <algorithm>
#include <memory>
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

const char kQuickOverrunCaption[] = "Quick search";

std::string QuickOverrunText(uint32_t marginMs) {
    return "An answer came after the quick probe's time-out (margin " + std::to_string(marginMs) +
           " ms): a projector may be missing. The projectors found were confirmed; search again with a larger "
           "margin, or with the ordinary search.";
}

QuickProbeResult QuickProbe(Link& link, uint8_t address, uint32_t ackTimeoutMs, StatusFlags* flags) {
    QuickProbeResult out;
    link.lock.AcquireForeground();
    RequestFrame frame = BuildRequest(address, kCmdReadStatus, 0, 0, 0, 0);
    const uint64_t discardedBefore = link.discardedBytes.load();
    FlushInput(link);
    out.bytesBefore = link.discardedBytes.load() != discardedBefore;
    const auto wire = WireBytes(frame);
    PutBytes(link, wire.data(), wire.size());
    out.answered = WaitForBytes(link, ackTimeoutMs, 1) != 0;
    // After an acknowledgement the answer follows: read its seven bytes as the ordinary
    // exchange would, so they are gone before anything else is sent.
    if (out.answered && GetByte(link) == kAck && WaitForBytes(link, kReplyTimeoutMs, 7)) {
        RequestFrame answer = frame;
        for (size_t i = 1; i <= 7; ++i) answer.b[i] = GetByte(link);
        if (AnswerMatches(frame, answer)) {
            flags->extraBlock1 = 0;
            flags->extraBlock2 = 0;
            uint32_t optionsValid = 0;
            DecodeStatus(&answer.b[3], flags, &optionsValid);
            out.statusRead = true;
        } else if (answer.b[2] == kCmdReadStatus && answer.b[7] == FrameChecksum(answer)) {
            out.otherAnswer = true;
        }
    }
    link.lock.ReleaseForeground(false);
    if (out.answered) {
        link.clock.WaitMs(kStatusClosingWaitMs);
        // Whatever a misbehaving projector sent beyond the framing has arrived by now.
        FlushInput(link);
    }
    return out;
}

AddressProbe QuickAddressProbe(ProgramState& s, const QuickSearchOptions& q) {
    const uint32_t ackTimeoutMs = QuickAckTimeoutMs(s.link.settings, q.marginMs);
    const uint32_t marginMs = std::min(q.marginMs, kQuickMaxMarginMs);
    // Whether the last address was silent, and whether a late answer was seen: after
    // one, an address that answers is asked its status again the ordinary way.
    struct Seen {
        bool lastSilent = false;
        bool overrun = false;
    };
    auto seen = std::make_shared<Seen>();
    return [&s, ackTimeoutMs, marginMs, seen](int32_t address, ProjectorRecord* record) {
        const QuickProbeResult quick = QuickProbe(s.link, static_cast<uint8_t>(address), ackTimeoutMs, &s.statusFlags);
        const bool late = quick.otherAnswer || (quick.bytesBefore && seen->lastSilent);
        if (late && !seen->overrun) {
            seen->overrun = true;
            if (s.env.ui) s.env.ui->ShowBox(kQuickOverrunCaption, QuickOverrunText(marginMs), BoxIcon::Exclamation);
        }
        seen->lastSilent = !quick.answered;
        // An address whose own status came is not asked it again; anything else that
        // answered is asked the ordinary way, and so is every one once an answer came late.
        if (quick.statusRead && !seen->overrun)
            return ProbeAnswered(s.link, s.env, address, record, s.statusFlags, false);
        if (quick.answered) return ProbeAddress(s.link, s.env, address, record, &s.statusFlags, false);
        ProbeOutcome silent;
        silent.suffix = " not found ...";
        return silent;
    };
}

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
