#include "app/Options.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Files.h"

namespace ombrix {

const char kOptionsFileName[] = "options.cfg";

std::string SourceEntry::Name() const {
    const auto end = std::find(name.begin(), name.end(), '\0');
    return std::string(name.begin(), end);
}

void SourceEntry::SetName(const std::string& text) {
    name.fill('\0');
    // Room for the terminating zero.
    std::memcpy(name.data(), text.data(), std::min(text.size(), kSourceNameSize - 1));
}

OptionsRead ReadOptionsFile(const std::string& path, ProgramOptions* o, SysError* error, bool* trailing) {
    if (trailing) *trailing = false;
    std::vector<uint8_t> bytes;
    SysError e;
    bool more = false;
    // Nothing past 99 entries is ever read, so whatever follows them is no reason to
    // lose the sources before it.
    if (!ReadFilePrefix(path, &bytes, &e, kOptionsHeaderSize + kSourceEntrySize * kMaxSources, &more)) {
        if (error) *error = e;
        return e.osError == ENOENT ? OptionsRead::Missing : OptionsRead::Unreadable;
    }
    std::string why;
    if (!ParseOptions(bytes.data(), bytes.size(), o, &why)) {
        if (error) {
            *error = SysError{};
            error->code = SysErrorCode::Other;
            error->osError = EINVAL;
            error->text = path + ": " + why;
        }
        return OptionsRead::Unreadable;
    }
    if (trailing) *trailing = more || bytes.size() > kOptionsHeaderSize + kSourceEntrySize * o->sources.size();
    return OptionsRead::Loaded;
}

bool ParseOptions(const uint8_t* data, size_t size, ProgramOptions* o, std::string* why) {
    auto refuse = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    ByteReader r(data, size);
    ProgramOptions d;
    int32_t sourceCount = 0;
    if (!(r.I32(&d.searchLimit) && r.I32(&d.userAddressCount) && r.U8(&d.useAddressSet) && r.U8(&d.userDefinedSet) &&
          r.I32(&d.reservedOption) && r.I32(&d.checkQuiet) && r.I32(&d.checkEnabled) && r.I32(&d.checkIntervalId) &&
          r.U8(&d.rangeStart) && r.U8(&d.rangeEnd) && r.I32(&sourceCount) && r.I32(&d.activeSource))) {
        return refuse("it is cut short (" + std::to_string(size) + " bytes; the options alone take " +
                      std::to_string(kOptionsHeaderSize) + ")");
    }
    // Values no program writes: the file is something else, or damaged.
    if (d.searchLimit < 0 || d.searchLimit > 256) {
        return refuse("its search limit " + std::to_string(d.searchLimit) + " is not 0-256");
    }
    if (d.userAddressCount < 0 || d.userAddressCount > 256) {
        return refuse("its address count " + std::to_string(d.userAddressCount) + " is not 0-256");
    }
    if (d.checkIntervalId < kCheckIntervalFirstId || d.checkIntervalId > kCheckIntervalLastId) {
        return refuse("its check interval " + std::to_string(d.checkIntervalId) + " is none of the choices");
    }
    if (sourceCount < 0) return refuse("its source count " + std::to_string(sourceCount) + " is negative");
    const int kept = std::min(sourceCount, kMaxSources);
    if (r.Remaining() < static_cast<size_t>(kept) * kSourceEntrySize) {
        return refuse("it is cut short (" + std::to_string(size) + " bytes; its " + std::to_string(kept) +
                      " sources take " + std::to_string(kOptionsHeaderSize + kSourceEntrySize * kept) + ")");
    }
    for (int i = 0; i < kept; ++i) {
        SourceEntry s;
        r.I32(&s.inputSlot);
        r.Bytes(s.name.data(), kSourceNameSize);
        r.Skip(kSourceEntrySize - 4 - kSourceNameSize);
        d.sources.push_back(s);
    }
    *o = d;
    return true;
}

std::vector<uint8_t> SerializeOptions(const ProgramOptions& o) {
    ByteWriter w;
    const size_t count = std::min<size_t>(o.sources.size(), kMaxSources);
    w.I32(o.searchLimit);
    w.I32(o.userAddressCount);
    w.U8(o.useAddressSet);
    w.U8(o.userDefinedSet);
    w.I32(o.reservedOption);
    w.I32(o.checkQuiet);
    w.I32(o.checkEnabled);
    w.I32(o.checkIntervalId);
    w.U8(o.rangeStart);
    w.U8(o.rangeEnd);
    w.I32(static_cast<int32_t>(count));
    w.I32(o.activeSource);
    for (size_t i = 0; i < count; ++i) {
        w.I32(o.sources[i].inputSlot);
        w.Bytes(o.sources[i].name.data(), kSourceNameSize);
        w.Zeros(kSourceEntrySize - 4 - kSourceNameSize);
    }
    return w.Data();
}

bool WriteOptionsFile(const std::string& path, const ProgramOptions& o, SysError* error) {
    return WriteFileAtomic(path, SerializeOptions(o), error);
}

}  // namespace ombrix
