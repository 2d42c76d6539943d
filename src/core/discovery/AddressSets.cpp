#include "discovery/AddressSets.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {

const char kUserAddressFile[] = "user_addr.cfg";
const char kGeneratedAddressFile[] = "addr.cfg";

namespace {

constexpr char kDialogTitle[] = "Addresset";

std::string NumberList(const std::vector<int32_t>& values) {
    constexpr size_t kShown = 8;
    std::string text;
    for (size_t i = 0; i < values.size() && i < kShown; ++i) text += (i ? ", " : "") + std::to_string(values[i]);
    if (values.size() > kShown) text += ", ...";
    return text;
}

// A range field: decimal digits only, 1-255.
bool FieldAddress(const std::string& text, uint8_t* value) {
    if (text.empty() || text.size() > 6) return false;
    unsigned v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v < 1 || v > 255) return false;
    *value = static_cast<uint8_t>(v);
    return true;
}

}  // namespace

bool ReadAddressFile(const std::string& path, AddressFile* file, SysError* error) {
    file->entries.clear();
    file->whole = true;
    std::vector<uint8_t> bytes;
    bool more = false;
    if (!ReadFilePrefix(path, &bytes, error, kMaxAddressEntries * 4, &more)) return false;
    file->whole = !more;
    file->entries = AddressEntries(bytes.data(), bytes.size());
    return true;
}

std::vector<int32_t> AddressEntries(const uint8_t* data, size_t size) {
    std::vector<int32_t> entries;
    ByteReader r(data, size);
    int32_t v;
    while (r.I32(&v)) entries.push_back(v);
    return entries;
}

std::vector<uint8_t> AddressFileBytes(const std::vector<int32_t>& entries) {
    ByteWriter w;
    for (int32_t e : entries) w.I32(e);
    return w.Data();
}

bool WriteAddressFile(const std::string& path, const std::vector<int32_t>& entries, SysError* error) {
    return WriteFileAtomic(path, AddressFileBytes(entries), error);
}

AddressList UsableAddresses(const std::vector<int32_t>& entries) {
    AddressList list;
    std::array<bool, 256> seen{};
    for (int32_t e : entries) {
        if (e < 0 || e > 255) {
            list.outOfRange.push_back(e);
        } else if (seen[static_cast<size_t>(e)]) {
            ++list.repeated;
        } else {
            seen[static_cast<size_t>(e)] = true;
            list.addresses.push_back(e);
        }
    }
    return list;
}

void ReportSkippedAddresses(const Env& env, const std::string& file, const AddressFile& read,
                            const AddressList& list) {
    std::string text;
    if (!list.outOfRange.empty()) {
        text += std::to_string(list.outOfRange.size()) + " entries outside 0-255 skipped (" +
                NumberList(list.outOfRange) + ").";
    }
    // Appended piece by piece: one long temporary chain trips a false overlap warning of
    // the optimiser.
    if (list.repeated) {
        if (!text.empty()) text += ' ';
        text += std::to_string(list.repeated);
        text += " repeated entries probed once.";
    }
    if (!read.whole) {
        if (!text.empty()) text += ' ';
        text += "Only the first ";
        text += std::to_string(kMaxAddressEntries);
        text += " entries were read.";
    }
    if (!text.empty() && env.ui) env.ui->ShowBox(kDialogTitle, file + ": " + text, BoxIcon::Exclamation);
}

RangeCheck CheckRangeFields(const std::string& startText, const std::string& endText) {
    RangeCheck c;
    if (!FieldAddress(startText, &c.start)) {
        c.message = "The start address must be a number from 1 to 255, not \"" + startText + "\".";
    } else if (!FieldAddress(endText, &c.end)) {
        c.message = "The end address must be a number from 1 to 255, not \"" + endText + "\".";
    } else if (c.end < c.start) {
        c.message = "The end address " + std::to_string(c.end) + " lies below the start address " +
                    std::to_string(c.start) + ".";
    } else {
        c.ok = true;
    }
    return c;
}

std::vector<std::string> AddressSetDialog::PickerEntries() {
    std::vector<std::string> e;
    for (int a = 1; a <= 255; ++a) e.push_back(std::to_string(a));
    return e;
}

bool AddressSetDialog::ReadUserSet(std::vector<int32_t>* entries, SysError* error) {
    AddressFile file;
    if (!ReadAddressFile(kUserAddressFile, &file, error)) return false;
    if (!file.whole) {
        if (error) *error = SystemErrorFromErrno(EFBIG, kUserAddressFile);
        return false;
    }
    *entries = std::move(file.entries);
    // The count beside the file follows what the file holds.
    state_.options.userAddressCount = static_cast<int32_t>(entries->size());
    return true;
}

void AddressSetDialog::Open() { ShowUserDefined(); }

void AddressSetDialog::ShowUserDefined() {
    viewGenerated_ = false;
    shown_.clear();
    SysError error;
    if (!ReadUserSet(&shown_, &error)) ShowError(state_.env, 0, error.text);
}

void AddressSetDialog::ShowGenerated() {
    viewGenerated_ = true;
    shown_.clear();
    AddressFile file;
    SysError error;
    if (!ReadAddressFile(kGeneratedAddressFile, &file, &error)) {
        ShowError(state_.env, 2, error.text);
        return;
    }
    shown_ = std::move(file.entries);
}

void AddressSetDialog::Add(int address) {
    if (viewGenerated_) return;
    std::vector<int32_t> entries;
    SysError error;
    if (!ReadUserSet(&entries, &error)) {
        // Only a file that is not there has no entries to keep.
        if (error.code != SysErrorCode::NotFound) {
            ShowError(state_.env, 0, error.text);
            return;
        }
        entries.clear();
    }
    if (std::find(entries.begin(), entries.end(), address) != entries.end()) {
        ShowWarning(state_.env, 1);
        shown_ = entries;
        return;
    }
    entries.push_back(address);
    if (!WriteAddressFile(kUserAddressFile, entries, &error)) {
        ShowError(state_.env, 0, error.text);
        return;
    }
    state_.options.userAddressCount = static_cast<int32_t>(entries.size());
    shown_ = entries;
}

void AddressSetDialog::Remove(int address) {
    if (viewGenerated_) return;
    std::vector<int32_t> entries;
    SysError error;
    if (!ReadUserSet(&entries, &error)) {
        ShowError(state_.env, 0, error.text);
        return;
    }
    shown_ = entries;
    const auto it = std::find(entries.rbegin(), entries.rend(), address);
    if (it == entries.rend()) return;
    entries.erase(std::next(it).base());
    if (!WriteAddressFile(kUserAddressFile, entries, &error)) {
        ShowError(state_.env, 0, error.text);
        return;
    }
    state_.options.userAddressCount = static_cast<int32_t>(entries.size());
    shown_ = entries;
}

bool AddressSetDialog::Close(const std::string& startText, const std::string& endText, bool ok) {
    const RangeCheck c = CheckRangeFields(startText, endText);
    if (!c.ok) {
        if (ok && state_.env.ui) state_.env.ui->ShowBox(kDialogTitle, c.message, BoxIcon::Exclamation);
        return !ok;
    }
    state_.options.rangeStart = c.start;
    state_.options.rangeEnd = c.end;
    return true;
}

}  // namespace ombrix
