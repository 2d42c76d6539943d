// The demo bus description: one [projector] section per projector, "key = value" lines.
#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "SimBus.h"
#include "data/Description.h"
#include "platform/Files.h"

namespace ombrix::sim {
namespace {

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::vector<std::string> Words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> w;
    for (std::string t; in >> t;) w.push_back(t);
    return w;
}

bool Num(const std::string& s, long lo, long hi, long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 0);
    if (*end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool Hex(const std::string& s, long lo, long hi, long* out) {
    if (s.empty() || s.size() > 8) return false;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 16);
    if (*end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool HexBytes(const std::string& s, std::vector<uint8_t>* out) {
    if (s.size() % 2) return false;
    out->clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        long v;
        if (!Hex(s.substr(i, 2), 0, 255, &v)) return false;
        out->push_back(static_cast<uint8_t>(v));
    }
    return true;
}

std::vector<uint8_t> Pattern(int length, long seed) {
    std::vector<uint8_t> d(static_cast<size_t>(std::max(length, 0)));
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(seed * 31 + static_cast<long>(i) * 7 + 0x20);
    return d;
}

class Parser {
public:
    Parser(SimBus* bus, std::string baseDirectory) : bus_(bus), baseDirectory_(std::move(baseDirectory)) {}

    bool Run(const std::string& text, std::string* error) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            ++lineNo_;
            const auto hash = line.find('#');
            if (hash != std::string::npos) line.resize(hash);
            line = Trim(line);
            if (line.empty()) continue;
            if (!Line(line)) {
                if (error) *error = "line " + std::to_string(lineNo_) + ": " + why_;
                return false;
            }
        }
        if (!Finish()) {
            if (error) *error = why_;
            return false;
        }
        return true;
    }

private:
    bool Fail(const std::string& why) {
        why_ = why;
        return false;
    }

    bool Finish() {
        if (!open_) return true;
        open_ = false;
        for (size_t i = 0; i < p_.blocks.size(); ++i) {
            SimBlock& b = p_.blocks[i];
            if (b.data.empty()) b.data = DescribedPattern();
            b.data.resize(static_cast<size_t>(std::max(p_.blockLength, 0)), 0);
            // Seeded bytes hold what a projector could: each parameter within its limits.
            if (seeded_.count(i)) Fold(&b.data);
        }
        seeded_.clear();
        for (auto& sp : p_.specials) {
            if (sp.data.empty()) sp.data = DescribedPattern();
            sp.data.resize(static_cast<size_t>(std::max(p_.blockLength, 0)), 0);
        }
        if (hasDescription_) {
            // A projector's live values are the settings of its active block, and the
            // block holds them as they are answered (a value is kept within its limits).
            p_.LoadLiveValues();
            for (const auto& [code, param] : p_.params) p_.StoreLiveValue(param);
            if (!description_.Serves(p_.typeCode, p_.letter)) {
                return Fail("projector " + std::to_string(p_.address) + ": " + descriptionName_ +
                            " does not serve type " + std::to_string(p_.typeCode) + " " + p_.letter);
            }
            // The rest of the type's header table is free slots.
            while (p_.blocks.size() < static_cast<size_t>(description_.blockCount)) {
                SimBlock b;
                p_.SetFree(b, true);
                p_.blocks.push_back(b);
            }
        }
        const size_t recordSize = p_.FiveByteRecords() ? 5 : 4;
        if (p_.blocks.size() * recordSize > static_cast<size_t>(std::max(p_.blockLength, 0))) {
            return Fail("projector " + std::to_string(p_.address) + ": the header table does not fit in one block");
        }
        if (!hasDescription_ && !p_.params.count(0)) {
            // A projector without a description answers a few codes all the same.
            for (uint8_t code : {0, 1, 2, 3, 4}) p_.params[code] = SimParam{};
        }
        bus_->AddProjector(p_);
        return true;
    }

    // Block bytes generated from the seed; with a description, every parameter's byte is
    // folded into the parameter's range (on its step), so the demo shows what a
    // projector could hold.
    std::vector<uint8_t> DescribedPattern() {
        std::vector<uint8_t> data = Pattern(p_.blockLength, seed_++);
        Fold(&data);
        return data;
    }

    void Fold(std::vector<uint8_t>* blockData) {
        if (!hasDescription_) return;
        std::vector<uint8_t>& data = *blockData;
        for (const DescriptionParameter& param : description_.parameters) {
            if (param.placeInBlock < 0 || static_cast<size_t>(param.placeInBlock) >= data.size()) continue;
            const int lo = std::clamp(param.min, 0, 255), hi = std::clamp(param.max, lo, 255);
            const int step = std::max(param.step, 1);
            const int choices = (hi - lo) / step + 1;
            uint8_t& byte = data[static_cast<size_t>(param.placeInBlock)];
            byte = static_cast<uint8_t>(lo + (byte % choices) * step);
        }
    }

    bool Line(const std::string& line) {
        if (line == "[projector]") {
            if (!Finish()) return false;
            p_ = SimProjector{};
            open_ = true;
            hasDescription_ = false;
            return true;
        }
        if (!open_) return Fail("expected [projector]");
        const auto eq = line.find('=');
        if (eq == std::string::npos) return Fail("expected key = value");
        const std::string key = Trim(line.substr(0, eq));
        const std::vector<std::string> v = Words(line.substr(eq + 1));
        if (v.empty()) return Fail("no value for " + key);
        long n = 0;
        if (key == "address") {
            if (!Num(v[0], 1, 255, &n)) return Fail("address must be 1-255");
            p_.address = static_cast<uint8_t>(n);
        } else if (key == "type") {
            if (v.size() != 2 || !Num(v[0], 0, 255, &n) || v[1].size() != 1) return Fail("type = CODE LETTER");
            p_.typeCode = static_cast<int>(n);
            p_.letter = v[1][0];
        } else if (key == "version") {
            const auto dot = v[0].find('.');
            long major = 0, minor = 0;
            if (dot == std::string::npos || !Hex(v[0].substr(0, dot), 0, 255, &major) ||
                !Hex(v[0].substr(dot + 1), 0, 255, &minor)) {
                return Fail("version = MAJOR.MINOR in hex digits");
            }
            p_.versionMajor = static_cast<uint8_t>(major);
            p_.versionMinor = static_cast<uint8_t>(minor);
        } else if (key == "serial" || key == "status") {
            if (v.size() != 4) return Fail(key + " = four hex bytes");
            uint8_t* dst = key == "serial" ? p_.serial : p_.status;
            for (size_t i = 0; i < 4; ++i) {
                if (!Hex(v[i], 0, 255, &n)) return Fail("bad hex byte " + v[i]);
                dst[i] = static_cast<uint8_t>(n);
            }
        } else if (key == "id") {
            if (!Num(v[0], -2147483648L, 4294967295L, &n)) return Fail("bad id number");
            p_.idNumber = static_cast<int32_t>(static_cast<uint32_t>(n));
        } else if (key == "runtime") {
            if (!Num(v[0], 0, 65535, &n)) return Fail("runtime must be 0-65535 hours");
            p_.runtimeHours = static_cast<uint16_t>(n);
        } else if (key == "block-length") {
            if (!Num(v[0], 1, 240, &n)) return Fail("block-length must be 1-240");
            p_.blockLength = static_cast<int>(n);
        } else if (key == "header-variant") {
            if (!Num(v[0], 0, 255, &n)) return Fail("bad header variant");
            p_.headerVariant = static_cast<int>(n);
        } else if (key == "description") {
            return UseDescription(v[0]);
        } else if (key == "block") {
            return Block(v);
        } else if (key == "free-blocks") {
            if (!Num(v[0], 0, 60, &n)) return Fail("free-blocks must be 0-60");
            for (long i = 0; i < n; ++i) {
                SimBlock b;
                p_.SetFree(b, true);
                p_.blocks.push_back(b);
            }
        } else if (key == "special") {
            return Special(v);
        } else if (key == "param") {
            long code, value, lo, hi;
            if (v.size() != 4 || !Num(v[0], 0, 255, &code) || !Num(v[1], 0, 255, &value) || !Num(v[2], 0, 255, &lo) ||
                !Num(v[3], 0, 255, &hi) || lo > hi) {
                return Fail("param = CODE VALUE MIN MAX");
            }
            p_.params[static_cast<uint8_t>(code)] = SimParam{static_cast<int>(value), static_cast<int>(lo),
                                                             static_cast<int>(hi)};
        } else if (key == "iris") {
            if (!Num(v[0], 0, 255, &n)) return Fail("bad IRIS state");
            p_.irisState = static_cast<uint8_t>(n);
        } else if (key == "power") {
            if (v[0] != "on" && v[0] != "off") return Fail("power = on|off");
            p_.poweredOn = v[0] == "on";
        } else if (key == "wake-up-ms") {
            if (!Num(v[0], 0, 600000, &n)) return Fail("bad wake-up time");
            p_.wakeUpMs = static_cast<uint32_t>(n);
        } else if (key == "iris-run-ms") {
            if (!Num(v[0], 0, 600000, &n)) return Fail("bad IRIS run time");
            p_.irisRunMs = static_cast<uint32_t>(n);
        } else {
            return Fail("unknown key " + key);
        }
        return true;
    }

    // description = FILE.dsc: the type's block length, header variant, special blocks
    // (one per special-block group) and direct-access parameters, as the program reads
    // them; the header table is filled up to the type's block count with free slots.
    bool UseDescription(const std::string& name) {
        const std::string path = name.empty() || name[0] == '/' || baseDirectory_.empty()
                                     ? name
                                     : baseDirectory_ + "/" + name;
        std::string why;
        Description d;
        if (!ReadDescriptionFile(path, &d, nullptr, &why)) return Fail(name + ": " + why);
        if (d.blockLength < 1 || d.blockLength > 240) {
            return Fail(name + ": block length " + std::to_string(d.blockLength) + " is outside 1-240");
        }
        p_.blockLength = d.blockLength;
        p_.headerVariant = d.headerVariant;
        for (const SpecialGroup& g : d.groups) {
            SimSpecial sp;
            std::copy(g.groupHeader.begin(), g.groupHeader.end(), sp.header);
            p_.specials.push_back(sp);
        }
        for (const DescriptionParameter& param : d.parameters) {
            if (!param.directAccessAllowed || p_.params.count(param.da1)) continue;
            const int lo = std::clamp(param.min, 0, 255), hi = std::clamp(param.max, lo, 255);
            p_.params[param.da1] = SimParam{(lo + hi) / 2, lo, hi, param.placeInBlock};
        }
        description_ = std::move(d);
        descriptionName_ = name;
        hasDescription_ = true;
        return true;
    }

    // block = FH FV SOURCE CONFIG [EXTRA] [free] [active] [data=HEX] [seed=N]
    bool Block(const std::vector<std::string>& v) {
        SimBlock b;
        uint8_t* fields[] = {&b.fh, &b.fv, &b.source, &b.config, &b.extra};
        size_t i = 0;
        long n;
        for (; i < v.size() && i < 5 && Hex(v[i], 0, 255, &n); ++i) *fields[i] = static_cast<uint8_t>(n);
        if (i < 4) return Fail("block = FH FV SOURCE CONFIG [EXTRA] [free] [active] [data=HEX]");
        bool active = false;
        for (; i < v.size(); ++i) {
            if (v[i] == "free") {
                p_.SetFree(b, true);
            } else if (v[i] == "active") {
                active = true;
            } else if (v[i].rfind("data=", 0) == 0) {
                if (!HexBytes(v[i].substr(5), &b.data)) return Fail("bad block data");
            } else if (v[i].rfind("seed=", 0) == 0) {
                if (!Num(v[i].substr(5), 0, 1000000, &n)) return Fail("bad seed");
                b.data = Pattern(p_.blockLength, n);
                seeded_.insert(p_.blocks.size());
            } else {
                return Fail("unknown block word " + v[i]);
            }
        }
        if (active) p_.activeBlock = static_cast<int>(p_.blocks.size());
        p_.blocks.push_back(b);
        return true;
    }

    // special = B1 B2 B3 B4 [active] [data=HEX], header bytes in wire order
    bool Special(const std::vector<std::string>& v) {
        if (v.size() < 4) return Fail("special = B1 B2 B3 B4 [active] [data=HEX]");
        SimSpecial sp;
        long n;
        for (size_t i = 0; i < 4; ++i) {
            if (!Hex(v[i], 0, 255, &n)) return Fail("bad special header byte " + v[i]);
            sp.header[i] = static_cast<uint8_t>(n);
        }
        bool active = false;
        for (size_t i = 4; i < v.size(); ++i) {
            if (v[i] == "active") {
                active = true;
            } else if (v[i].rfind("data=", 0) == 0) {
                if (!HexBytes(v[i].substr(5), &sp.data)) return Fail("bad special data");
            } else {
                return Fail("unknown special word " + v[i]);
            }
        }
        if (active) p_.activeSpecial = static_cast<int>(p_.specials.size());
        p_.specials.push_back(sp);
        return true;
    }

    SimBus* bus_;
    std::string baseDirectory_;
    SimProjector p_;
    Description description_;
    std::string descriptionName_;
    bool hasDescription_ = false;
    bool open_ = false;
    int lineNo_ = 0;
    long seed_ = 1;
    std::set<size_t> seeded_;  // blocks of this projector given by seed=N
    std::string why_;
};

}  // namespace

bool ParseBusText(const std::string& text, SimBus* bus, std::string* error, const std::string& baseDirectory) {
    Parser parser(bus, baseDirectory);
    return parser.Run(text, error);
}

bool LoadBusFile(const std::string& path, SimBus* bus, std::string* error) {
    std::vector<uint8_t> bytes;
    SysError e;
    if (!ReadWholeFile(path, &bytes, &e, 1024 * 1024)) {
        if (error) *error = e.text;
        return false;
    }
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    return ParseBusText(std::string(bytes.begin(), bytes.end()), bus, error, folder);
}

}  // namespace ombrix::sim
