#include "discovery/AddressSets.h"

#include <algorithm>

#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {

const char kUserAddressFile[] = "user_addr.cfg";
const char kGeneratedAddressFile[] = "addr.cfg";

bool ReadAddressFile(const std::string& path, int32_t count, std::vector<int32_t>* entries) {
    entries->clear();
    std::vector<uint8_t> bytes;
    // 256 addresses are all there are; a larger file is not an address set.
    if (!ReadWholeFile(path, &bytes, nullptr, 1u << 20)) return false;
    ByteReader r(bytes);
    int32_t v;
    for (int32_t i = 0; i < count && r.I32(&v); ++i) entries->push_back(v);
    return true;
}

std::vector<uint8_t> AddressFileBytes(const std::vector<int32_t>& entries) {
    ByteWriter w;
    for (int32_t e : entries) w.I32(e);
    return w.Data();
}

bool WriteAddressFile(const std::string& path, const std::vector<int32_t>& entries) {
    return WriteFileAtomic(path, AddressFileBytes(entries), nullptr);
}

std::vector<std::string> AddressSetDialog::PickerEntries() {
    std::vector<std::string> e;
    for (int a = 1; a <= 255; ++a) e.push_back(std::to_string(a));
    return e;
}

bool AddressSetDialog::ReadUserSet(std::vector<int32_t>* entries) {
    return ReadAddressFile(kUserAddressFile, std::max<int32_t>(state_.options.userAddressCount, 0), entries);
}

void AddressSetDialog::Open() { ShowUserDefined(); }

void AddressSetDialog::ShowUserDefined() {
    viewGenerated_ = false;
    shown_.clear();
    if (!ReadUserSet(&shown_)) ShowError(state_.env, 0);
}

void AddressSetDialog::ShowGenerated() {
    viewGenerated_ = true;
    shown_.clear();
    if (!ReadAddressFile(kGeneratedAddressFile, std::max<int32_t>(state_.options.searchLimit, 0), &shown_)) {
        ShowError(state_.env, 2);
    }
}

void AddressSetDialog::Add(int address) {
    if (viewGenerated_) return;
    std::vector<int32_t> entries;
    // A file that cannot be read has no duplicates, and only what was read is kept.
    ReadUserSet(&entries);
    if (std::find(entries.begin(), entries.end(), address) != entries.end()) {
        ShowWarning(state_.env, 1);
        return;
    }
    entries.push_back(address);
    if (!WriteAddressFile(kUserAddressFile, entries)) {
        ShowError(state_.env, 0);
        return;
    }
    state_.options.userAddressCount = static_cast<int32_t>(entries.size());
    shown_ = entries;
}

void AddressSetDialog::Remove(int address) {
    if (viewGenerated_) return;
    std::vector<int32_t> entries;
    if (!ReadUserSet(&entries)) {
        ShowError(state_.env, 0);
        return;
    }
    const auto it = std::find(entries.rbegin(), entries.rend(), address);
    if (it == entries.rend()) return;
    entries.erase(std::next(it).base());
    if (!WriteAddressFile(kUserAddressFile, entries)) {
        ShowError(state_.env, 0);
        return;
    }
    state_.options.userAddressCount = static_cast<int32_t>(entries.size());
    shown_ = entries;
}

uint8_t AddressSetDialog::RangeFieldValue(const std::string& text) {
    if (text.size() > 4) return 0;
    unsigned value = 0;
    for (size_t i = 0; i < text.size() && i < 3 && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return static_cast<uint8_t>(value);
}

void AddressSetDialog::Close(const std::string& startText, const std::string& endText) {
    state_.options.rangeStart = RangeFieldValue(startText);
    state_.options.rangeEnd = RangeFieldValue(endText);
}

}  // namespace ombrix
