#pragma once
// The quick search: every address is first asked for its status with a short
// acknowledgement time-out and none of the protocol's waits; only the addresses that
// answer are then probed the ordinary way. On a bus with few projectors it saves nearly
// the whole 2.7 s that the ordinary probe spends on each silent address.
#include <cstdint>
#include <string>

#include "app/Program.h"
#include "discovery/Search.h"
#include "platform/SystemError.h"

namespace ombrix {

// The Options-menu item that switches the quick search on and off.
constexpr int kCmdQuickSearch = 40125;

constexpr uint32_t kQuickMinAckTimeoutMs = 50;
constexpr uint32_t kQuickDefaultMarginMs = 50;
constexpr uint32_t kQuickMaxMarginMs = 2000;

struct QuickSearchOptions {
    bool enabled = false;
    uint32_t marginMs = kQuickDefaultMarginMs;  // added to the wire time of a request and its ACK
};

extern const char kQuickSearchFileName[];  // "quicksearch.cfg", beside options.cfg

// A missing file gives the defaults (off) and true; a damaged one the defaults and false.
bool LoadQuickSearchOptions(const std::string& path, QuickSearchOptions* options);
bool SaveQuickSearchOptions(const std::string& path, const QuickSearchOptions& options, SysError* error);
// The menu command: flips the switch in the file; the new state, or the old one when the
// file could not be written (*saved false).
bool ToggleQuickSearch(const std::string& path, bool* saved);

// Microseconds one character takes on the line: start bit, data bits, parity, stop bits.
uint32_t CharacterTimeUs(const CommSettings& settings);
// How long the quick probe waits for the acknowledgement: the request's nine bytes and
// the ACK on the wire, plus the margin; never below 50 ms.
uint32_t QuickAckTimeoutMs(const CommSettings& settings, uint32_t marginMs);

struct QuickProbeResult {
    bool answered = false;    // anything came within the short time-out (ACK, NACK, other)
    bool statusRead = false;  // acknowledged, and this address's status answer came: in *flags
    // Bytes came on the line before the request: after a silent probe, that address
    // answered after its short time-out.
    bool bytesBefore = false;
    // The status answer that came names another address: an earlier one answered late.
    bool otherAnswer = false;
};

// One status request with the short time-out. When anything answers, the acknowledgement
// and the answer are read by their framing (within the ordinary time-outs), then the
// status command's closing wait passes, so nothing of it reaches the next exchange.
QuickProbeResult QuickProbe(Link& link, uint8_t address, uint32_t ackTimeoutMs, StatusFlags* flags);

// "An answer came after the quick probe's time-out ...": said once in a quick search
// whose margin was overrun.
extern const char kQuickOverrunCaption[];
std::string QuickOverrunText(uint32_t marginMs);

// The search of the current mode, quick-probed: same address list, progress lines,
// projector table, generated set and options as SearchConnectedProjectors for every
// projector that answers within the short time-out.
bool QuickSearchConnectedProjectors(ProgramState& state, const QuickSearchOptions& options);

// The quick search's way of asking each address, for a search that watches its probes.
AddressProbe QuickAddressProbe(ProgramState& state, const QuickSearchOptions& options);

// What the communication window runs: the quick search when quicksearch.cfg switches it
// on, otherwise the ordinary one.
bool RunConfiguredSearch(ProgramState& state);
// The way RunConfiguredSearch asks each address, for a search that watches its probes.
AddressProbe ConfiguredSearchProbe(ProgramState& state);

}  // namespace ombrix
