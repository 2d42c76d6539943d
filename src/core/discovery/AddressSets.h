#pragma once
// The user-defined address set (user_addr.cfg) and the generated one (addr.cfg): files of
// 32-bit addresses. The options keep a count beside each, but a set is what its file
// holds: a count that went astray never hides or drops an address of the file. And the
// address-set dialog's rules.
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"

namespace ombrix {

extern const char kUserAddressFile[];       // "user_addr.cfg"
extern const char kGeneratedAddressFile[];  // "addr.cfg"

// More entries than this are never read: a set has at most 256 distinct addresses.
constexpr size_t kMaxAddressEntries = 16384;

struct AddressFile {
    std::vector<int32_t> entries;  // in file order, as stored
    bool whole = true;             // false: the file holds more than kMaxAddressEntries
};

// Every entry of the file (a trailing partial entry is no entry). False, with the
// reason, when it cannot be read.
bool ReadAddressFile(const std::string& path, AddressFile* file, SysError* error);
std::vector<int32_t> AddressEntries(const uint8_t* data, size_t size);
bool WriteAddressFile(const std::string& path, const std::vector<int32_t>& entries, SysError* error);
std::vector<uint8_t> AddressFileBytes(const std::vector<int32_t>& entries);

// The addresses a search probes from a set: 0-255, each once, in file order.
struct AddressList {
    std::vector<int32_t> addresses;
    std::vector<int32_t> outOfRange;  // skipped, in file order
    int repeated = 0;                 // entries probed already under an earlier one
};
AddressList UsableAddresses(const std::vector<int32_t>& entries);
// Says what a set's file held that is not probed; nothing when all of it is.
void ReportSkippedAddresses(const Env& env, const std::string& file, const AddressFile& read,
                            const AddressList& list);

// The range fields of the dialog: decimal 1-255, the end not below the start.
struct RangeCheck {
    bool ok = false;
    uint8_t start = 0;
    uint8_t end = 0;
    std::string message;  // why it was refused
};
RangeCheck CheckRangeFields(const std::string& startText, const std::string& endText);

// The address-set dialog: what it lists and what its buttons do to the files and options.
class AddressSetDialog {
public:
    explicit AddressSetDialog(ProgramState& state) : state_(state) {}

    // Opening: the user-defined set is shown (error 0 when its file cannot be read).
    void Open();
    const std::vector<int32_t>& Shown() const { return shown_; }
    bool ViewGenerated() const { return viewGenerated_; }
    bool EditingEnabled() const { return !viewGenerated_; }

    // Picker entries are "1" … "255".
    static std::vector<std::string> PickerEntries();
    // Add the address (warning 1 for a duplicate, error 0 when the file cannot be written).
    void Add(int address);
    // Delete the last entry equal to the address.
    void Remove(int address);
    void ShowUserDefined();
    void ShowGenerated();
    // The Start and End buttons store the picker's address at once.
    void SetStart(int address) { state_.options.rangeStart = static_cast<uint8_t>(address); }
    void SetEnd(int address) { state_.options.rangeEnd = static_cast<uint8_t>(address); }
    // OK stores what the two fields hold when they make a range; otherwise it shows why,
    // stores nothing and returns false (the dialog stays open). Cancel stores a valid
    // range too, and drops an invalid one without a word.
    bool Close(const std::string& startText, const std::string& endText, bool ok = true);

private:
    // Edits work on the whole file; one too large to read whole is not rewritten.
    bool ReadUserSet(std::vector<int32_t>* entries, SysError* error);

    ProgramState& state_;
    std::vector<int32_t> shown_;
    bool viewGenerated_ = false;
};

}  // namespace ombrix
