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

OptionsRead ReadOptionsFile(const std::string& path, ProgramOptions* o, SysError* error) {
    std::vector<uint8_t> bytes;
    SysError e;
    bool more = false;
    // Nothing past 99 entries is ever read, so whatever follows them is no reason to
    // lose the sources before it.
    if (!ReadFilePrefix(path, &bytes, &e, kOptionsHeaderSize + kSourceEntrySize * kMaxSources, &more)) {
        if (error) *error = e;
        return e.osError == ENOENT ? OptionsRead::Missing : OptionsRead::Unreadable;
    }
    ParseOptions(bytes.data(), bytes.size(), o);
    return OptionsRead::Loaded;
}

void ParseOptions(const uint8_t* data, size_t size, ProgramOptions* o) {
    ByteReader r(data, size);
    ProgramOptions d;
    int32_t sourceCount = 0;
    // Each read stops the chain at the end of a short file; what was read stays.
    r.I32(&d.searchLimit) && r.I32(&d.userAddressCount) && r.U8(&d.useAddressSet) && r.U8(&d.userDefinedSet) &&
        r.I32(&d.reservedOption) && r.I32(&d.checkQuiet) && r.I32(&d.checkEnabled) && r.I32(&d.checkIntervalId) &&
        r.U8(&d.rangeStart) && r.U8(&d.rangeEnd) && r.I32(&sourceCount) && r.I32(&d.activeSource);
    sourceCount = std::clamp(sourceCount, 0, kMaxSources);
    for (int i = 0; i < sourceCount; ++i) {
        SourceEntry s;
        if (!r.I32(&s.inputSlot) || !r.Bytes(s.name.data(), kSourceNameSize) ||
            !r.Skip(kSourceEntrySize - 4 - kSourceNameSize)) {
            break;
        }
        d.sources.push_back(s);
    }
    *o = d;
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
