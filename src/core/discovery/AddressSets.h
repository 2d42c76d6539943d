#pragma once
// The user-defined address set (user_addr.cfg) and the generated one (addr.cfg): files of
// 32-bit addresses whose counts live in the options. And the address-set dialog's rules.
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"

namespace ombrix {

extern const char kUserAddressFile[];       // "user_addr.cfg"
extern const char kGeneratedAddressFile[];  // "addr.cfg"

// Reads up to `count` entries; a shorter file gives only what it holds. False when the
// file cannot be opened.
bool ReadAddressFile(const std::string& path, int32_t count, std::vector<int32_t>* entries);
bool WriteAddressFile(const std::string& path, const std::vector<int32_t>& entries);
std::vector<uint8_t> AddressFileBytes(const std::vector<int32_t>& entries);

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
    // OK and Cancel alike store what the two fields hold.
    void Close(const std::string& startText, const std::string& endText);

    // A range field's text as the dialog reads it: more than 4 characters give 0, else
    // the leading decimal digits of the first 3 characters, cut to 8 bits.
    static uint8_t RangeFieldValue(const std::string& text);

private:
    bool ReadUserSet(std::vector<int32_t>* entries);

    ProgramState& state_;
    std::vector<int32_t> shown_;
    bool viewGenerated_ = false;
};

}  // namespace ombrix
