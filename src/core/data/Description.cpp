#include "data/Description.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>

#include "blocks/BlockModel.h"
#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

// Description files are a few kilobytes; anything far larger is not one.
constexpr size_t kMaxDescriptionFileSize = 16u * 1024u * 1024u;

size_t FillerRecords(int32_t count, int atLeast) {
    return count < atLeast ? static_cast<size_t>(atLeast - count) : 0;
}

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

// Whether count records of recordSize bytes fit in what remains, without overflow.
bool Fits(uint64_t count, uint64_t recordSize, size_t remaining) {
    if (count == 0) return true;
    return recordSize <= remaining && count <= remaining / recordSize;
}

void ReadSpare(ByteReader& r, DescriptionSpare* s) {
    r.I32(&s->spareValue);
    r.Bytes(s->spareText.data(), s->spareText.size());
}

void WriteSpare(ByteWriter& w, const DescriptionSpare& s) {
    w.I32(s.spareValue);
    w.Bytes(s.spareText.data(), s.spareText.size());
}

bool HasExtension(const std::string& name, const char* ext) {
    const size_t n = std::strlen(ext);
    if (name.size() <= n) return false;
    for (size_t i = 0; i < n; ++i) {
        const char c = name[name.size() - n + i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != ext[i]) return false;
    }
    return true;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

}  // namespace

size_t GroupFillerSize(int32_t groupCount) {
    return FillerRecords(groupCount, kGroupRecordsAtLeast) * kSpecialGroupRecordSize;
}
size_t KindFillerSize(int32_t kindSpareCount) {
    return FillerRecords(kindSpareCount, kKindSparesAtLeast) * kSpareRecordSize;
}
size_t ParamFillerSize(int32_t paramSpareCount) {
    return FillerRecords(paramSpareCount, kParameterSparesAtLeast) * kSpareRecordSize;
}

bool Description::Serves(int typeCode, char alphaId) const {
    const int n = std::clamp(typeCount, 0, kMaxDescriptionTypes);
    for (int i = 0; i < n; ++i) {
        if (typeCodes[static_cast<size_t>(i)] == typeCode && alphaIds[static_cast<size_t>(i)] == alphaId) return true;
    }
    return false;
}

std::string FieldText(const uint8_t* field, size_t size) {
    size_t n = 0;
    while (n < size && field[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

bool ParseDescription(const uint8_t* data, size_t size, Description* out, DescriptionPadding* padding,
                      std::string* why) {
    ByteReader r(data, size);
    Description d;
    if (!r.I32(&d.typeCount) || !r.I32(&d.codeWord)) return Fail(why, "the header runs past the end of the file");
    if (d.typeCount < 0 || d.typeCount > kMaxDescriptionTypes) {
        return Fail(why, "typeCount " + std::to_string(d.typeCount) + " is outside 0-15");
    }
    for (int i = 0; i < d.typeCount; ++i) {
        uint8_t letter = 0;
        if (!r.U8(&d.typeCodes[static_cast<size_t>(i)]) || !r.U8(&letter)) {
            return Fail(why, "the type list runs past the end of the file");
        }
        d.alphaIds[static_cast<size_t>(i)] = static_cast<char>(letter);
    }
    if (!r.Bytes(d.label.data(), d.label.size()) || !r.I32(&d.blockLength) || !r.I32(&d.paramCount) ||
        !r.I32(&d.blockCount) || !r.I32(&d.kindCount) || !r.I32(&d.specialGroupCount) ||
        !r.I32(&d.kindSpareCount) || !r.I32(&d.paramSpareCount) || !r.F32(&d.fhBase) || !r.F32(&d.fvBase) ||
        !r.I32(&d.headerVariant)) {
        return Fail(why, "the header runs past the end of the file");
    }
    const std::pair<const char*, int32_t> counts[] = {
        {"paramCount", d.paramCount},         {"blockCount", d.blockCount},
        {"kindCount", d.kindCount},           {"specialGroupCount", d.specialGroupCount},
        {"kindSpareCount", d.kindSpareCount}, {"paramSpareCount", d.paramSpareCount},
    };
    for (const auto& [name, value] : counts) {
        if (value < 0) return Fail(why, std::string(name) + " " + std::to_string(value) + " is negative");
    }

    // Every table is measured against what remains before anything is allocated for it.
    const size_t groupFillers = GroupFillerSize(d.specialGroupCount);
    if (!Fits(static_cast<uint64_t>(d.specialGroupCount), kSpecialGroupRecordSize, r.Remaining()) ||
        static_cast<uint64_t>(d.specialGroupCount) * kSpecialGroupRecordSize + groupFillers > r.Remaining()) {
        return Fail(why, "the special-block groups run past the end of the file");
    }
    d.groups.resize(static_cast<size_t>(d.specialGroupCount));
    for (SpecialGroup& g : d.groups) {
        r.I32(&g.groupBlocks);
        r.Bytes(g.groupName.data(), g.groupName.size());
        r.Bytes(g.groupHeader.data(), g.groupHeader.size());
        if (g.groupBlocks < 0) return Fail(why, "groupBlocks " + std::to_string(g.groupBlocks) + " is negative");
    }
    DescriptionPadding pad;
    pad.groupFillers.resize(groupFillers);
    r.Bytes(pad.groupFillers.data(), groupFillers);

    const size_t kindFillers = KindFillerSize(d.kindSpareCount);
    const uint64_t kindSize =
        kKindRecordSize + static_cast<uint64_t>(d.kindSpareCount) * kSpareRecordSize + kindFillers;
    if (!Fits(static_cast<uint64_t>(d.kindCount), kindSize, r.Remaining())) {
        return Fail(why, "the kinds run past the end of the file");
    }
    d.kinds.resize(static_cast<size_t>(d.kindCount));
    pad.kindFillers.resize(d.kinds.size());
    for (size_t k = 0; k < d.kinds.size(); ++k) {
        DescriptionKind& kind = d.kinds[k];
        r.U8(&kind.kindNumber);
        r.Bytes(kind.kindName.data(), kind.kindName.size());
        r.U16(&kind.kindWord);
        r.U16(&kind.optionWord);
        r.I32(&kind.specialKind);
        r.Bytes(kind.kindBytes.data(), kind.kindBytes.size());
        r.I32(&kind.kindLong);
        kind.spares.resize(static_cast<size_t>(d.kindSpareCount));
        for (DescriptionSpare& s : kind.spares) ReadSpare(r, &s);
        pad.kindFillers[k].resize(kindFillers);
        r.Bytes(pad.kindFillers[k].data(), kindFillers);
    }

    const size_t paramFillers = ParamFillerSize(d.paramSpareCount);
    const uint64_t paramSize =
        kParameterRecordSize + static_cast<uint64_t>(d.paramSpareCount) * kSpareRecordSize + paramFillers;
    if (!Fits(static_cast<uint64_t>(d.paramCount), paramSize, r.Remaining())) {
        return Fail(why, "the parameters run past the end of the file");
    }
    d.parameters.resize(static_cast<size_t>(d.paramCount));
    pad.paramFillers.resize(d.parameters.size());
    for (size_t k = 0; k < d.parameters.size(); ++k) {
        DescriptionParameter& p = d.parameters[k];
        r.I32(&p.paramNumber);
        r.I32(&p.placeInBlock);
        r.I32(&p.min);
        r.I32(&p.max);
        r.I32(&p.step);
        r.U8(&p.da1);
        r.U8(&p.da2);
        r.U8(&p.kind);
        r.Bytes(p.paramBytes.data(), p.paramBytes.size());
        r.U8(&p.colorDependency);
        r.U8(&p.directionDependency);
        r.U8(&p.directAccessAllowed);
        r.I32(&p.optionsNeeded);
        r.Bytes(p.paramName.data(), p.paramName.size());
        p.spares.resize(static_cast<size_t>(d.paramSpareCount));
        for (DescriptionSpare& s : p.spares) ReadSpare(r, &s);
        pad.paramFillers[k].resize(paramFillers);
        r.Bytes(pad.paramFillers[k].data(), paramFillers);
    }
    pad.trailing.assign(data + r.Position(), data + size);

    *out = std::move(d);
    if (padding) *padding = std::move(pad);
    return true;
}

bool SerializeDescription(const Description& d, const DescriptionPadding* padding, std::vector<uint8_t>* out,
                          std::string* why) {
    if (d.typeCount < 0 || d.typeCount > kMaxDescriptionTypes) return Fail(why, "typeCount must be 0-15");
    if (d.specialGroupCount < 0 || static_cast<size_t>(d.specialGroupCount) != d.groups.size()) {
        return Fail(why, "specialGroupCount does not match the groups");
    }
    if (d.kindCount < 0 || static_cast<size_t>(d.kindCount) != d.kinds.size()) {
        return Fail(why, "kindCount does not match the kinds");
    }
    if (d.paramCount < 0 || static_cast<size_t>(d.paramCount) != d.parameters.size()) {
        return Fail(why, "paramCount does not match the parameters");
    }
    if (d.blockCount < 0 || d.kindSpareCount < 0 || d.paramSpareCount < 0) return Fail(why, "a count is negative");
    for (const SpecialGroup& g : d.groups) {
        if (g.groupBlocks < 0) return Fail(why, "groupBlocks is negative");
    }
    for (const DescriptionKind& k : d.kinds) {
        if (k.spares.size() != static_cast<size_t>(d.kindSpareCount)) {
            return Fail(why, "a kind does not have kindSpareCount spares");
        }
    }
    for (const DescriptionParameter& p : d.parameters) {
        if (p.spares.size() != static_cast<size_t>(d.paramSpareCount)) {
            return Fail(why, "a parameter does not have paramSpareCount spares");
        }
    }
    const size_t groupFillers = GroupFillerSize(d.specialGroupCount);
    const size_t kindFillers = KindFillerSize(d.kindSpareCount);
    const size_t paramFillers = ParamFillerSize(d.paramSpareCount);
    if (padding) {
        if (padding->groupFillers.size() != groupFillers) return Fail(why, "the group fillers have the wrong size");
        if (padding->kindFillers.size() != d.kinds.size()) return Fail(why, "kind fillers missing");
        for (const auto& f : padding->kindFillers) {
            if (f.size() != kindFillers) return Fail(why, "a kind's fillers have the wrong size");
        }
        if (padding->paramFillers.size() != d.parameters.size()) return Fail(why, "parameter fillers missing");
        for (const auto& f : padding->paramFillers) {
            if (f.size() != paramFillers) return Fail(why, "a parameter's fillers have the wrong size");
        }
    }

    ByteWriter w;
    w.I32(d.typeCount);
    w.I32(d.codeWord);
    for (int i = 0; i < d.typeCount; ++i) {
        w.U8(d.typeCodes[static_cast<size_t>(i)]);
        w.U8(static_cast<uint8_t>(d.alphaIds[static_cast<size_t>(i)]));
    }
    w.Bytes(d.label.data(), d.label.size());
    w.I32(d.blockLength);
    w.I32(d.paramCount);
    w.I32(d.blockCount);
    w.I32(d.kindCount);
    w.I32(d.specialGroupCount);
    w.I32(d.kindSpareCount);
    w.I32(d.paramSpareCount);
    w.F32(d.fhBase);
    w.F32(d.fvBase);
    w.I32(d.headerVariant);
    for (const SpecialGroup& g : d.groups) {
        w.I32(g.groupBlocks);
        w.Bytes(g.groupName.data(), g.groupName.size());
        w.Bytes(g.groupHeader.data(), g.groupHeader.size());
    }
    if (padding) w.Bytes(padding->groupFillers.data(), groupFillers);
    else w.Zeros(groupFillers);
    for (size_t k = 0; k < d.kinds.size(); ++k) {
        const DescriptionKind& kind = d.kinds[k];
        w.U8(kind.kindNumber);
        w.Bytes(kind.kindName.data(), kind.kindName.size());
        w.U16(kind.kindWord);
        w.U16(kind.optionWord);
        w.I32(kind.specialKind);
        w.Bytes(kind.kindBytes.data(), kind.kindBytes.size());
        w.I32(kind.kindLong);
        for (const DescriptionSpare& s : kind.spares) WriteSpare(w, s);
        if (padding) w.Bytes(padding->kindFillers[k].data(), kindFillers);
        else w.Zeros(kindFillers);
    }
    for (size_t k = 0; k < d.parameters.size(); ++k) {
        const DescriptionParameter& p = d.parameters[k];
        w.I32(p.paramNumber);
        w.I32(p.placeInBlock);
        w.I32(p.min);
        w.I32(p.max);
        w.I32(p.step);
        w.U8(p.da1);
        w.U8(p.da2);
        w.U8(p.kind);
        w.Bytes(p.paramBytes.data(), p.paramBytes.size());
        w.U8(p.colorDependency);
        w.U8(p.directionDependency);
        w.U8(p.directAccessAllowed);
        w.I32(p.optionsNeeded);
        w.Bytes(p.paramName.data(), p.paramName.size());
        for (const DescriptionSpare& s : p.spares) WriteSpare(w, s);
        if (padding) w.Bytes(padding->paramFillers[k].data(), paramFillers);
        else w.Zeros(paramFillers);
    }
    if (padding) w.Bytes(padding->trailing.data(), padding->trailing.size());
    *out = w.Data();
    return true;
}

bool ReadDescriptionFile(const std::string& path, Description* out, DescriptionPadding* padding, std::string* why) {
    std::vector<uint8_t> bytes;
    SysError error;
    if (!ReadWholeFile(path, &bytes, &error, kMaxDescriptionFileSize)) return Fail(why, error.text);
    return ParseDescription(bytes.data(), bytes.size(), out, padding, why);
}

std::vector<std::string> DescriptionFiles(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        // A folder or FIFO by that name is listed too: its reader says why it is no description.
        if (!HasExtension(name, ".dsc")) continue;
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool LoadDescription(const Env& env, const std::string& directory, int typeCode, char alphaId, Description* out) {
    std::vector<std::string> folders{directory};
    if (env.descriptionFolders) {
        for (const std::string& f : *env.descriptionFolders)
            if (!f.empty() && std::find(folders.begin(), folders.end(), f) == folders.end()) folders.push_back(f);
    }
    if (typeCode == -1) {
        for (const std::string& folder : folders) {
            Description d;
            if (ReadDescriptionFile(JoinPath(folder, kDefaultDescriptionName), &d, nullptr, nullptr)) {
                *out = std::move(d);
                return true;
            }
        }
        return false;
    }
    std::string broken;  // the first description file that cannot be read, and why
    for (const std::string& folder : folders) {
        for (const std::string& name : DescriptionFiles(folder)) {
            const std::string path = JoinPath(folder, name);
            std::vector<uint8_t> bytes;
            SysError error;
            Description d;
            std::string why;
            if (!ReadWholeFile(path, &bytes, &error, kMaxDescriptionFileSize)) {
                if (broken.empty()) broken = error.text;
                continue;
            }
            if (!ParseDescription(bytes.data(), bytes.size(), &d, nullptr, &why)) {
                if (broken.empty()) broken = path + ": not a description file: " + why;
                continue;
            }
            if (d.Serves(typeCode, alphaId)) {
                *out = std::move(d);
                return true;
            }
        }
        // The broken one may be the description meant for this projector: another
        // folder's copy is not taken in its place.
        if (!broken.empty()) break;
    }
    if (broken.empty()) {
        std::string where;
        for (const std::string& folder : folders) where += (where.empty() ? "" : ", ") + (folder.empty() ? "." : folder);
        ShowError(env, 46,
                  "no description file (*.dsc) serves type " + std::to_string(typeCode) +
                      (alphaId ? std::string(" ") + alphaId : std::string()) + "; looked in " + where);
    } else {
        ShowError(env, 46, broken);
    }
    return false;
}

void ReleaseDescription(Description* description) {
    if (!description) return;
    description->groups.clear();
    description->groups.shrink_to_fit();
    description->kinds.clear();
    description->kinds.shrink_to_fit();
    description->parameters.clear();
    description->parameters.shrink_to_fit();
}

void ApplySpecialBlocks(const Description& d, uint8_t extraBlock1, uint8_t extraBlock2, ProjectorRecord* record) {
    record->blockTotal = 0;
    for (size_t i = 0; i < record->blockTypes.size(); ++i) {
        BlockTypeEntry entry;
        if (i < d.groups.size()) {
            const SpecialGroup& g = d.groups[i];
            std::copy(g.groupHeader.begin(), g.groupHeader.end(), entry.header);
            entry.count = static_cast<uint32_t>(g.groupBlocks);
            std::fill(std::begin(entry.name), std::end(entry.name), '\0');
            const std::string name = FieldText(g.groupName);
            std::copy(name.begin(), name.end(), entry.name);
        }
        record->blockTypes[i] = entry;
        record->blockTotal += entry.count;
    }

    std::fill(std::begin(record->specialBlocks), std::end(record->specialBlocks), 0);
    const uint8_t extraBits[2] = {extraBlock1, extraBlock2};
    int extraUsed = 0;
    for (const DescriptionKind& kind : d.kinds) {
        // Any kind that is not one of the two special kinds has ordinary blocks.
        const int flag = kind.specialKind == kFirstSpecialKind ? 0
                         : kind.specialKind == kSecondSpecialKind ? 1
                                                                      : 2;
        if (kind.optionWord == 0) {
            record->specialBlocks[flag] = 1;
        } else if (extraUsed < 2) {
            record->specialBlocks[flag] = extraBits[extraUsed++] ? 1 : 0;
        }
    }
}

}  // namespace ombrix
