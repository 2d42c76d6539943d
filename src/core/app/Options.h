#pragma once
// The options record and options.cfg.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SystemError.h"

namespace ombrix {

constexpr int kMaxSources = 99;
constexpr size_t kOptionsHeaderSize = 36;
constexpr size_t kSourceEntrySize = 1604;
constexpr size_t kSourceNameSize = 40;
extern const char kOptionsFileName[];  // "options.cfg"

struct SourceEntry {
    int32_t inputSlot = 0;
    // Kept as the 40 bytes read, so an untouched entry is written back byte for byte.
    std::array<char, kSourceNameSize> name{};

    std::string Name() const;
    void SetName(const std::string& text);
};

// Check interval commands "10 sec" ... "1 hour".
constexpr int32_t kCheckIntervalFirstId = 61776;
constexpr int32_t kCheckIntervalLastId = 61782;

struct ProgramOptions {
    int32_t searchLimit = 16;
    int32_t userAddressCount = 0;
    uint8_t useAddressSet = 0;
    uint8_t userDefinedSet = 0;
    int32_t reservedOption = 1;
    int32_t checkQuiet = 0;
    int32_t checkEnabled = 1;
    int32_t checkIntervalId = 61778;
    uint8_t rangeStart = 1;
    uint8_t rangeEnd = 255;
    int32_t activeSource = -1;
    std::vector<SourceEntry> sources;  // sourceCount = sources.size(), at most 99

    // activeSource as stored may point past the list; users of the list ask here.
    const SourceEntry* ActiveSource() const {
        return activeSource >= 0 && activeSource < static_cast<int32_t>(sources.size())
                   ? &sources[static_cast<size_t>(activeSource)]
                   : nullptr;
    }
};

enum class OptionsRead { Loaded, Missing, Unreadable };

// Reads the record field by field. A source count above 99 stops at 99; bytes after the
// 99th entry are ignored. Unreadable: the file is there but cannot be read (not a regular
// file, no permission), or it lies (see ParseOptions); error->text says why.
// *trailing: the file holds bytes beyond the record it counts (the next save would drop them).
OptionsRead ReadOptionsFile(const std::string& path, ProgramOptions* options, SysError* error,
                            bool* trailing = nullptr);
// The record from the file's bytes. Refused (false, *options untouched, *why set): a
// file cut short of its fields or of the sources it counts, a negative source count, a
// search limit or address count outside 0-256, a check interval none of the choices.
bool ParseOptions(const uint8_t* data, size_t size, ProgramOptions* options, std::string* why = nullptr);
std::vector<uint8_t> SerializeOptions(const ProgramOptions& options);
bool WriteOptionsFile(const std::string& path, const ProgramOptions& options, SysError* error);

}  // namespace ombrix
