#include "history/BlockDiff.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "blocks/BlockList.h"
#include "data/Formatting.h"

namespace ombrix {
namespace {

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string Hex2(int v) {
    static const char digits[] = "0123456789abcdef";
    return {digits[(v >> 4) & 15], digits[v & 15]};
}

std::string WireString(const std::array<uint8_t, 4>& w) {
    return Hex2(w[0]) + " " + Hex2(w[1]) + " " + Hex2(w[2]) + " " + Hex2(w[3]);
}

// The header a block is matched by: its wire bytes as if it were in use.
std::array<uint8_t, 4> Key(const HistoryBlock& b, bool longHeader) {
    std::array<uint8_t, 4> k = b.wire;
    if (longHeader) {
        k[3] = static_cast<uint8_t>(k[3] & ~0x04);
    } else {
        k[1] = static_cast<uint8_t>(k[1] & 0x7F);
    }
    return k;
}

// Per header, the block that stands for it: one in use wins over a free one.
std::map<std::array<uint8_t, 4>, const HistoryBlock*> ByKey(const BlockSide& side) {
    const bool longHeader = side.projector.headerVariant == 2;
    std::map<std::array<uint8_t, 4>, const HistoryBlock*> out;
    for (const HistoryBlock& b : side.blocks) {
        const auto k = Key(b, longHeader);
        auto it = out.find(k);
        if (it == out.end() || (it->second->free && !b.free)) out[k] = &b;
    }
    return out;
}

BlockChange ChangeOf(BlockChangeKind kind, const HistoryBlock& b) {
    BlockChange c;
    c.kind = kind;
    c.number = b.position + 1;
    c.wire = b.wire;
    c.name = b.name;
    c.type = b.type;
    return c;
}

void CompareBodies(const HistoryBlock& a, const HistoryBlock& b, const Description* d, BlockChange* c) {
    const size_t n = std::max(a.body.size(), b.body.size());
    auto at = [](const HistoryBlock& x, size_t i) { return i < x.body.size() ? x.body[i] : 0; };
    std::set<size_t> named;
    if (d) {
        for (const DescriptionParameter& p : d->parameters) {
            if (p.placeInBlock < 0 || static_cast<size_t>(p.placeInBlock) >= n) continue;
            const auto place = static_cast<size_t>(p.placeInBlock);
            named.insert(place);
            if (at(a, place) != at(b, place)) {
                c->parameters.push_back({FieldText(p.paramName), p.placeInBlock, at(a, place), at(b, place)});
            }
        }
    }
    for (size_t i = 0; i < n; ++i) {
        if (!named.count(i) && at(a, i) != at(b, i)) c->bytes.push_back({static_cast<int>(i), at(a, i), at(b, i)});
    }
}

}  // namespace

const char* ChangeKindKey(BlockChangeKind kind) {
    switch (kind) {
        case BlockChangeKind::Changed: return "changed";
        case BlockChangeKind::Added: return "added";
        case BlockChangeKind::Deleted: return "deleted";
        case BlockChangeKind::Freed: return "freed";
        case BlockChangeKind::InUseAgain: return "in use again";
    }
    return "changed";
}

BlockDiff DiffBlocks(const BlockSide& from, const BlockSide& to, const Description* description) {
    BlockDiff diff;
    diff.address = to.projector.address ? to.projector.address : from.projector.address;
    const ProjectorIdentity& a = from.projector;
    const ProjectorIdentity& b = to.projector;
    const bool sameType = a.typeCode == b.typeCode && a.letter == b.letter;
    if (!sameType) {
        diff.identity.push_back("type " + std::to_string(a.typeCode) + " " + std::string(1, a.letter ? a.letter : '?') +
                                " → " + std::to_string(b.typeCode) + " " + std::string(1, b.letter ? b.letter : '?'));
    }
    if (!from.fromFile && !to.fromFile) {
        auto say = [&](const char* what, const std::string& x, const std::string& y) {
            if (x != y) diff.identity.push_back(std::string(what) + " " + x + " → " + y);
        };
        if (a.address != b.address) say("address", std::to_string(a.address), std::to_string(b.address));
        say("serial", a.serial, b.serial);
        // A store of an older Ombrix kept only the major version ("3" for "3.05").
        const auto major = [](const std::string& v) { return v.substr(0, v.find('.')); };
        const bool majorOnly = (a.version.find('.') == std::string::npos) != (b.version.find('.') == std::string::npos);
        if (sameType && !(majorOnly && major(a.version) == major(b.version))) say("version", a.version, b.version);
    }
    const Description* d = sameType ? description : nullptr;
    const auto before = ByKey(from);
    const auto after = ByKey(to);
    for (const auto& [key, nb] : after) {
        const auto it = before.find(key);
        if (it == before.end()) {
            if (!nb->free) diff.changes.push_back(ChangeOf(BlockChangeKind::Added, *nb));
            continue;
        }
        const HistoryBlock& ob = *it->second;
        if (ob.free && nb->free) continue;
        if (!ob.free && nb->free) {
            diff.changes.push_back(ChangeOf(BlockChangeKind::Freed, *nb));
            continue;
        }
        // A free block's settings are never read, so one in use again is only said.
        if (ob.free) {
            diff.changes.push_back(ChangeOf(BlockChangeKind::InUseAgain, *nb));
            continue;
        }
        BlockChange c = ChangeOf(BlockChangeKind::Changed, *nb);
        CompareBodies(ob, *nb, d, &c);
        if (!c.parameters.empty() || !c.bytes.empty()) diff.changes.push_back(std::move(c));
    }
    for (const auto& [key, ob] : before) {
        if (!after.count(key) && !ob->free) diff.changes.push_back(ChangeOf(BlockChangeKind::Deleted, *ob));
    }
    std::stable_sort(diff.changes.begin(), diff.changes.end(),
                     [](const BlockChange& x, const BlockChange& y) { return x.number < y.number; });
    return diff;
}

std::vector<std::string> DiffLines(const BlockDiff& diff) {
    std::vector<std::string> lines;
    const std::string projector = "Projector " + std::to_string(diff.address);
    for (const std::string& i : diff.identity) lines.push_back(projector + ": " + i);
    for (const BlockChange& c : diff.changes) {
        std::string line = projector + " · block " + std::to_string(c.number) + " [" + WireString(c.wire) + "] '" +
                           c.name + "' (" + c.type + "): ";
        if (c.kind != BlockChangeKind::Changed) line += ChangeKindKey(c.kind);
        std::string sep = c.kind == BlockChangeKind::Changed ? "" : ", ";
        for (const ParameterChange& p : c.parameters) {
            line += sep + p.name + " " + std::to_string(p.from) + " → " + std::to_string(p.to);
            sep = ", ";
        }
        for (const ByteChange& b : c.bytes) {
            line += sep + "byte " + std::to_string(b.offset) + ": " + std::to_string(b.from) + " → " +
                    std::to_string(b.to);
            sep = ", ";
        }
        lines.push_back(line);
    }
    return lines;
}

nlohmann::json DiffJson(const BlockDiff& diff) {
    using nlohmann::json;
    json changes = json::array();
    for (const BlockChange& c : diff.changes) {
        json params = json::array(), bytes = json::array();
        for (const ParameterChange& p : c.parameters)
            params.push_back({{"name", p.name}, {"place", p.place}, {"from", p.from}, {"to", p.to}});
        for (const ByteChange& b : c.bytes) bytes.push_back({{"offset", b.offset}, {"from", b.from}, {"to", b.to}});
        changes.push_back({{"change", ChangeKindKey(c.kind)},
                           {"block", c.number},
                           {"header", WireString(c.wire)},
                           {"name", c.name},
                           {"type", c.type},
                           {"parameters", params},
                           {"bytes", bytes}});
    }
    return {{"address", diff.address}, {"identity", diff.identity}, {"changes", changes}};
}

std::string BlockSignalName(const BlockHeader& header, float fhBase, float fvBase, bool longHeader) {
    BlockHeader inUse = header;
    SetHeaderFree(inUse, longHeader, false);
    const int variant = longHeader ? 1 : 0;
    return "source " + Trim(HeaderFieldText(kFieldSource, inUse, fhBase, fvBase, variant, false)) + ", " +
           Trim(HeaderFieldText(kFieldFh, inUse, fhBase, fvBase, variant, false)) + " kHz, " +
           Trim(HeaderFieldText(kFieldFv, inUse, fhBase, fvBase, variant, false)) + " Hz";
}

BlockHeader HeaderOfWire(const std::array<uint8_t, 4>& wire, uint8_t extra, bool longHeader) {
    BlockHeader h = HeaderFromWire(wire.data(), longHeader);
    if (longHeader) {
        h.orientation = h.config & 3;
        h.signalType = static_cast<uint8_t>((h.config >> 3) & 7);
        h.flags = static_cast<uint32_t>(h.config & 0x3F) | (static_cast<uint32_t>(extra) << 8);
    } else {
        h.signalType = static_cast<uint8_t>((h.config & 0xF0) >> 4);
        h.orientation = h.config & 3;
    }
    return h;
}

BlockSide FileSide(const std::vector<RAMBlock>& rows, int projectorType, const std::string& label) {
    BlockSide side;
    side.label = label;
    side.fromFile = true;
    side.projector.typeCode = projectorType;
    int number = 0;
    bool inType = false;
    for (const RAMBlock& r : rows) {
        if (r.containerTitle) {
            inType = r.projectorType == projectorType;
            number = 0;
            continue;
        }
        ++number;
        if (!inType || r.specialKind != 0) continue;
        const bool longHeader = r.longHeader != 0;
        if (side.projector.letter == 0) side.projector.letter = r.alphaId;
        side.projector.headerVariant = longHeader ? 2 : 0;
        HistoryBlock b;
        b.position = number - 1;
        uint8_t wire[4];
        WireHeader(r.header, longHeader, wire);
        std::copy(wire, wire + 4, b.wire.begin());
        b.extra = static_cast<uint8_t>(r.header.flags >> 8);
        b.free = HeaderIsFree(r.header, longHeader);
        b.name = BlockSignalName(r.header, r.fhBase, r.fvBase, longHeader);
        b.type = SignalTypeText(r.header.signalType, longHeader);
        if (!b.free) b.body.assign(r.body.begin(), r.body.end());
        side.blocks.push_back(std::move(b));
    }
    return side;
}

bool ParseWireHeader(const std::string& text, std::array<uint8_t, 4>* out) {
    std::string digits;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            ++i;
            continue;
        }
        if (c == ' ' || c == ':' || c == '-' || c == ',') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (digits.size() != 8) return false;
    for (size_t i = 0; i < 4; ++i) (*out)[i] = static_cast<uint8_t>(std::stoi(digits.substr(2 * i, 2), nullptr, 16));
    return true;
}

}  // namespace ombrix
