#include "data/DescriptionText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "data/JsonInput.h"

namespace ombrix {
namespace {

using Json = nlohmann::ordered_json;

// Objects and arrays that fit in this many columns are written on one line.
constexpr size_t kLineWidth = 100;

std::string HexOf(const uint8_t* data, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

Json HexValue(const uint8_t* data, size_t n) { return Json{{"hex", HexOf(data, n)}}; }

bool AllZero(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
        if (b) return false;
    }
    return true;
}

// Printable ASCII up to the first zero and nothing but zeros after it.
Json TextValue(const uint8_t* field, size_t size) {
    size_t n = 0;
    while (n < size && field[n] != 0) {
        if (field[n] < 0x20 || field[n] > 0x7E) return HexValue(field, size);
        ++n;
    }
    for (size_t i = n; i < size; ++i) {
        if (field[i] != 0) return HexValue(field, size);
    }
    return Json(std::string(reinterpret_cast<const char*>(field), n));
}

template <size_t N>
Json TextValue(const std::array<uint8_t, N>& field) {
    return TextValue(field.data(), N);
}

// The shortest decimal that reads back as the same bits, else the four bytes.
Json FloatValue(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    const uint8_t le[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                           static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    if (f != f || f == std::numeric_limits<float>::infinity() || f == -std::numeric_limits<float>::infinity()) {
        return HexValue(le, 4);
    }
    char buf[64];
    for (int precision = 1; precision <= 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(f));
        const double d = std::strtod(buf, nullptr);
        const float back = static_cast<float>(d);
        uint32_t backBits;
        std::memcpy(&backBits, &back, 4);
        if (backBits == bits) return Json(d);
    }
    return HexValue(le, 4);
}

template <size_t N>
Json ByteArray(const std::array<uint8_t, N>& bytes) {
    Json a = Json::array();
    for (uint8_t b : bytes) a.push_back(b);
    return a;
}

Json SparesValue(const std::vector<DescriptionSpare>& spares) {
    Json a = Json::array();
    for (const DescriptionSpare& s : spares) a.push_back(Json{{"spareValue", s.spareValue}, {"spareText", TextValue(s.spareText)}});
    return a;
}

std::string Compact(const Json& v) {
    if (v.is_object()) {
        std::string s = "{";
        bool first = true;
        for (auto it = v.begin(); it != v.end(); ++it) {
            if (!first) s += ", ";
            first = false;
            s += Json(it.key()).dump() + ": " + Compact(it.value());
        }
        return s + "}";
    }
    if (v.is_array()) {
        std::string s = "[";
        for (size_t i = 0; i < v.size(); ++i) {
            if (i) s += ", ";
            s += Compact(v[i]);
        }
        return s + "]";
    }
    return v.dump();
}

// Hex values and byte lists stay on one line however long they are.
bool AlwaysOneLine(const Json& v) {
    if (!v.is_structured() || v.empty()) return true;
    if (v.is_object()) return v.size() == 1 && !v.front().is_structured();
    for (const Json& e : v) {
        if (!e.is_number()) return false;
    }
    return true;
}

void Pretty(const Json& v, size_t indent, std::string* out) {
    const std::string oneLine = Compact(v);
    if (AlwaysOneLine(v) || indent + oneLine.size() <= kLineWidth) {
        *out += oneLine;
        return;
    }
    const std::string inner(indent + 2, ' ');
    *out += v.is_object() ? "{\n" : "[\n";
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first) *out += ",\n";
        first = false;
        *out += inner;
        if (v.is_object()) *out += Json(it.key()).dump() + ": ";
        Pretty(it.value(), indent + 2, out);
    }
    *out += "\n" + std::string(indent, ' ') + (v.is_object() ? "}" : "]");
}

// Reading: each function names the place of a fault in why.
class Reader {
public:
    explicit Reader(std::string* why) : why_(why) {}

    bool Fail(const std::string& place, const std::string& text) {
        if (why_) *why_ = place + ": " + text;
        return false;
    }

    bool Keys(const Json& obj, const std::string& place, std::initializer_list<const char*> known) {
        if (!obj.is_object()) return Fail(place, "must be an object");
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            bool ok = false;
            for (const char* k : known) ok = ok || it.key() == k;
            if (!ok) return Fail(place, "unknown key \"" + it.key() + "\"");
        }
        return true;
    }

    const Json* Field(const Json& obj, const std::string& place, const char* key) {
        const auto it = obj.find(key);
        if (it == obj.end()) {
            Fail(place, std::string("\"") + key + "\" is missing");
            return nullptr;
        }
        return &*it;
    }

    bool Hex(const Json& v, const std::string& place, size_t size, uint8_t* out) {
        if (!v.is_object() || v.size() != 1 || !v.contains("hex") || !v["hex"].is_string()) {
            return Fail(place, "expected {\"hex\": \"...\"}");
        }
        const std::string& s = v["hex"].get_ref<const std::string&>();
        if (s.size() != 2 * size) {
            return Fail(place, "hex must hold " + std::to_string(size) + " bytes");
        }
        for (size_t i = 0; i < size; ++i) {
            int b = 0;
            for (int k = 0; k < 2; ++k) {
                const char c = s[2 * i + static_cast<size_t>(k)];
                int d;
                if (c >= '0' && c <= '9') d = c - '0';
                else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
                else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
                else return Fail(place, "hex holds a character that is not a hex digit");
                b = b * 16 + d;
            }
            out[i] = static_cast<uint8_t>(b);
        }
        return true;
    }

    bool Bytes(const Json& obj, const std::string& place, const char* key, size_t size, std::vector<uint8_t>* out) {
        out->assign(size, 0);
        const auto it = obj.find(key);
        if (it == obj.end()) return true;  // zeros
        return Hex(*it, place + "." + key, size, out->data());
    }

    template <class T>
    bool Int(const Json& obj, const std::string& place, const char* key, T* out) {
        const Json* v = Field(obj, place, key);
        if (!v) return false;
        const std::string at = place + "." + key;
        if (!v->is_number_integer()) return Fail(at, "must be a whole number");
        const long long lo = static_cast<long long>(std::numeric_limits<T>::min());
        const long long hi = static_cast<long long>(std::numeric_limits<T>::max());
        long long n;
        if (v->is_number_unsigned()) {
            const unsigned long long u = v->get<unsigned long long>();
            if (u > static_cast<unsigned long long>(hi)) return Fail(at, "out of range");
            n = static_cast<long long>(u);
        } else {
            n = v->get<long long>();
        }
        if (n < lo || n > hi) {
            return Fail(at, "must be " + std::to_string(lo) + " to " + std::to_string(hi));
        }
        *out = static_cast<T>(n);
        return true;
    }

    bool Float(const Json& obj, const std::string& place, const char* key, float* out) {
        const Json* v = Field(obj, place, key);
        if (!v) return false;
        const std::string at = place + "." + key;
        if (v->is_number()) {
            *out = static_cast<float>(v->get<double>());
            return true;
        }
        uint8_t b[4];
        if (!Hex(*v, at, 4, b)) return Fail(at, "must be a number or {\"hex\": \"8 digits\"}");
        const uint32_t bits = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                              (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
        std::memcpy(out, &bits, 4);
        return true;
    }

    template <size_t N>
    bool Text(const Json& obj, const std::string& place, const char* key, std::array<uint8_t, N>* out) {
        const Json* v = Field(obj, place, key);
        if (!v) return false;
        const std::string at = place + "." + key;
        out->fill(0);
        if (v->is_string()) {
            const std::string& s = v->get_ref<const std::string&>();
            if (s.size() > N) return Fail(at, "longer than " + std::to_string(N) + " bytes");
            if (s.find('\0') != std::string::npos) return Fail(at, "holds a zero byte; write it as hex");
            std::memcpy(out->data(), s.data(), s.size());
            return true;
        }
        return Hex(*v, at, N, out->data());
    }

    template <size_t N>
    bool ByteList(const Json& obj, const std::string& place, const char* key, std::array<uint8_t, N>* out) {
        const Json* v = Field(obj, place, key);
        if (!v) return false;
        const std::string at = place + "." + key;
        if (!v->is_array() || v->size() != N) return Fail(at, "must be a list of " + std::to_string(N) + " bytes");
        for (size_t i = 0; i < N; ++i) {
            const Json& e = (*v)[i];
            if (!e.is_number_integer() || e.get<long long>() < 0 || e.get<long long>() > 255) {
                return Fail(at + "[" + std::to_string(i) + "]", "must be 0 to 255");
            }
            (*out)[i] = static_cast<uint8_t>(e.get<long long>());
        }
        return true;
    }

    bool Letter(const Json& v, const std::string& place, char* out) {
        if (v.is_string()) {
            const std::string& s = v.get_ref<const std::string&>();
            if (s.size() != 1 || s[0] == '\0') return Fail(place, "must be one character");
            *out = s[0];
            return true;
        }
        uint8_t b;
        if (!Hex(v, place, 1, &b)) return false;
        *out = static_cast<char>(b);
        return true;
    }

    bool Spares(const Json& obj, const std::string& place, int32_t count, std::vector<DescriptionSpare>* out) {
        out->clear();
        const auto it = obj.find("spares");
        const size_t n = it == obj.end() ? 0 : (it->is_array() ? it->size() : SIZE_MAX);
        if (n == SIZE_MAX) return Fail(place + ".spares", "must be a list");
        if (n != static_cast<size_t>(count)) {
            return Fail(place + ".spares", "must hold " + std::to_string(count) + " spares (the spare count)");
        }
        for (size_t i = 0; i < n; ++i) {
            const Json& s = (*it)[i];
            const std::string at = place + ".spares[" + std::to_string(i) + "]";
            DescriptionSpare spare;
            if (!Keys(s, at, {"spareValue", "spareText"}) || !Int(s, at, "spareValue", &spare.spareValue) ||
                !Text(s, at, "spareText", &spare.spareText)) {
                return false;
            }
            out->push_back(spare);
        }
        return true;
    }

    const Json* List(const Json& obj, const char* key) {
        const Json* v = Field(obj, "description", key);
        if (v && !v->is_array()) {
            Fail(key, "must be a list");
            return nullptr;
        }
        return v;
    }

private:
    std::string* why_;
};

bool FromJson(const Json& root, Description* out, DescriptionPadding* padOut, std::string* why) {
    Reader r(why);
    Description d;
    DescriptionPadding pad;
    const std::string top = "description";
    if (!r.Keys(root, top,
                {"codeWord", "types", "label", "blockLength", "blockCount", "kindSpareCount", "paramSpareCount",
                 "fhBase", "fvBase", "headerVariant", "specialGroups", "groupFillers", "kinds", "parameters",
                 "trailing"})) {
        return false;
    }
    if (!r.Int(root, top, "codeWord", &d.codeWord) || !r.Text(root, top, "label", &d.label) ||
        !r.Int(root, top, "blockLength", &d.blockLength) || !r.Int(root, top, "blockCount", &d.blockCount) ||
        !r.Int(root, top, "kindSpareCount", &d.kindSpareCount) ||
        !r.Int(root, top, "paramSpareCount", &d.paramSpareCount) || !r.Float(root, top, "fhBase", &d.fhBase) ||
        !r.Float(root, top, "fvBase", &d.fvBase) || !r.Int(root, top, "headerVariant", &d.headerVariant)) {
        return false;
    }
    if (d.blockCount < 0) return r.Fail("blockCount", "must not be negative");
    if (d.kindSpareCount < 0) return r.Fail("kindSpareCount", "must not be negative");
    if (d.paramSpareCount < 0) return r.Fail("paramSpareCount", "must not be negative");

    const Json* types = r.List(root, "types");
    if (!types) return false;
    if (types->size() > static_cast<size_t>(kMaxDescriptionTypes)) return r.Fail("types", "at most 15 types");
    d.typeCount = static_cast<int32_t>(types->size());
    for (size_t i = 0; i < types->size(); ++i) {
        const Json& t = (*types)[i];
        const std::string at = "types[" + std::to_string(i) + "]";
        const Json* letter = nullptr;
        if (!r.Keys(t, at, {"typeCode", "alphaId"}) || !r.Int(t, at, "typeCode", &d.typeCodes[i]) ||
            !(letter = r.Field(t, at, "alphaId")) || !r.Letter(*letter, at + ".alphaId", &d.alphaIds[i])) {
            return false;
        }
    }

    const Json* groups = r.List(root, "specialGroups");
    if (!groups) return false;
    for (size_t i = 0; i < groups->size(); ++i) {
        const Json& g = (*groups)[i];
        const std::string at = "specialGroups[" + std::to_string(i) + "]";
        SpecialGroup group;
        if (!r.Keys(g, at, {"groupBlocks", "groupName", "groupHeader"}) ||
            !r.Int(g, at, "groupBlocks", &group.groupBlocks) || !r.Text(g, at, "groupName", &group.groupName) ||
            !r.ByteList(g, at, "groupHeader", &group.groupHeader)) {
            return false;
        }
        if (group.groupBlocks < 0) return r.Fail(at + ".groupBlocks", "must not be negative");
        d.groups.push_back(group);
    }
    if (d.groups.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return r.Fail(top, "too many");
    d.specialGroupCount = static_cast<int32_t>(d.groups.size());
    if (!r.Bytes(root, top, "groupFillers", GroupFillerSize(d.specialGroupCount), &pad.groupFillers)) return false;

    const Json* kinds = r.List(root, "kinds");
    if (!kinds) return false;
    for (size_t i = 0; i < kinds->size(); ++i) {
        const Json& k = (*kinds)[i];
        const std::string at = "kinds[" + std::to_string(i) + "]";
        DescriptionKind kind;
        std::vector<uint8_t> fillers;
        if (!r.Keys(k, at,
                    {"kindNumber", "kindName", "kindWord", "optionWord", "specialKind", "kindBytes", "kindLong",
                     "spares", "fillers"}) ||
            !r.Int(k, at, "kindNumber", &kind.kindNumber) || !r.Text(k, at, "kindName", &kind.kindName) ||
            !r.Int(k, at, "kindWord", &kind.kindWord) || !r.Int(k, at, "optionWord", &kind.optionWord) ||
            !r.Int(k, at, "specialKind", &kind.specialKind) || !r.ByteList(k, at, "kindBytes", &kind.kindBytes) ||
            !r.Int(k, at, "kindLong", &kind.kindLong) || !r.Spares(k, at, d.kindSpareCount, &kind.spares) ||
            !r.Bytes(k, at, "fillers", KindFillerSize(d.kindSpareCount), &fillers)) {
            return false;
        }
        d.kinds.push_back(std::move(kind));
        pad.kindFillers.push_back(std::move(fillers));
    }
    d.kindCount = static_cast<int32_t>(d.kinds.size());

    const Json* params = r.List(root, "parameters");
    if (!params) return false;
    for (size_t i = 0; i < params->size(); ++i) {
        const Json& p = (*params)[i];
        const std::string at = "parameters[" + std::to_string(i) + "]";
        DescriptionParameter param;
        std::vector<uint8_t> fillers;
        if (!r.Keys(p, at,
                    {"paramNumber", "paramName", "placeInBlock", "min", "max", "step", "da1", "da2", "kind",
                     "paramBytes", "colorDependency", "directionDependency", "directAccessAllowed", "optionsNeeded",
                     "spares", "fillers"}) ||
            !r.Int(p, at, "paramNumber", &param.paramNumber) || !r.Text(p, at, "paramName", &param.paramName) ||
            !r.Int(p, at, "placeInBlock", &param.placeInBlock) || !r.Int(p, at, "min", &param.min) ||
            !r.Int(p, at, "max", &param.max) || !r.Int(p, at, "step", &param.step) ||
            !r.Int(p, at, "da1", &param.da1) || !r.Int(p, at, "da2", &param.da2) ||
            !r.Int(p, at, "kind", &param.kind) || !r.ByteList(p, at, "paramBytes", &param.paramBytes) ||
            !r.Int(p, at, "colorDependency", &param.colorDependency) ||
            !r.Int(p, at, "directionDependency", &param.directionDependency) ||
            !r.Int(p, at, "directAccessAllowed", &param.directAccessAllowed) ||
            !r.Int(p, at, "optionsNeeded", &param.optionsNeeded) ||
            !r.Spares(p, at, d.paramSpareCount, &param.spares) ||
            !r.Bytes(p, at, "fillers", ParamFillerSize(d.paramSpareCount), &fillers)) {
            return false;
        }
        d.parameters.push_back(std::move(param));
        pad.paramFillers.push_back(std::move(fillers));
    }
    d.paramCount = static_cast<int32_t>(d.parameters.size());

    if (const auto it = root.find("trailing"); it != root.end()) {
        if (!it->is_object() || !it->contains("hex") || !(*it)["hex"].is_string()) {
            return r.Fail("trailing", "expected {\"hex\": \"...\"}");
        }
        const size_t n = (*it)["hex"].get_ref<const std::string&>().size();
        if (n % 2) return r.Fail("trailing", "hex must hold whole bytes");
        pad.trailing.resize(n / 2);
        if (!r.Hex(*it, "trailing", n / 2, pad.trailing.data())) return false;
    }
    *out = std::move(d);
    *padOut = std::move(pad);
    return true;
}

}  // namespace

std::string DescriptionToText(const Description& d, const DescriptionPadding& padding) {
    Json root;
    root["codeWord"] = d.codeWord;
    Json types = Json::array();
    for (int i = 0; i < d.typeCount && i < kMaxDescriptionTypes; ++i) {
        const char letter = d.alphaIds[static_cast<size_t>(i)];
        const uint8_t byte = static_cast<uint8_t>(letter);
        types.push_back(Json{{"typeCode", d.typeCodes[static_cast<size_t>(i)]},
                             {"alphaId", byte > 0x20 && byte < 0x7F ? Json(std::string(1, letter))
                                                                    : HexValue(&byte, 1)}});
    }
    root["types"] = types;
    root["label"] = TextValue(d.label);
    root["blockLength"] = d.blockLength;
    root["blockCount"] = d.blockCount;
    root["kindSpareCount"] = d.kindSpareCount;
    root["paramSpareCount"] = d.paramSpareCount;
    root["fhBase"] = FloatValue(d.fhBase);
    root["fvBase"] = FloatValue(d.fvBase);
    root["headerVariant"] = d.headerVariant;

    Json groups = Json::array();
    for (const SpecialGroup& g : d.groups) {
        groups.push_back(Json{{"groupBlocks", g.groupBlocks},
                              {"groupName", TextValue(g.groupName)},
                              {"groupHeader", ByteArray(g.groupHeader)}});
    }
    root["specialGroups"] = groups;
    if (!AllZero(padding.groupFillers)) {
        root["groupFillers"] = HexValue(padding.groupFillers.data(), padding.groupFillers.size());
    }

    Json kinds = Json::array();
    for (size_t i = 0; i < d.kinds.size(); ++i) {
        const DescriptionKind& k = d.kinds[i];
        Json kind = {{"kindNumber", k.kindNumber}, {"kindName", TextValue(k.kindName)}, {"kindWord", k.kindWord},
                     {"optionWord", k.optionWord}, {"specialKind", k.specialKind}, {"kindBytes", ByteArray(k.kindBytes)},
                     {"kindLong", k.kindLong}};
        if (!k.spares.empty()) kind["spares"] = SparesValue(k.spares);
        if (i < padding.kindFillers.size() && !AllZero(padding.kindFillers[i])) {
            kind["fillers"] = HexValue(padding.kindFillers[i].data(), padding.kindFillers[i].size());
        }
        kinds.push_back(kind);
    }
    root["kinds"] = kinds;

    Json params = Json::array();
    for (size_t i = 0; i < d.parameters.size(); ++i) {
        const DescriptionParameter& p = d.parameters[i];
        Json param = {{"paramNumber", p.paramNumber},
                      {"paramName", TextValue(p.paramName)},
                      {"placeInBlock", p.placeInBlock},
                      {"min", p.min},
                      {"max", p.max},
                      {"step", p.step},
                      {"da1", p.da1},
                      {"da2", p.da2},
                      {"kind", p.kind},
                      {"paramBytes", ByteArray(p.paramBytes)},
                      {"colorDependency", p.colorDependency},
                      {"directionDependency", p.directionDependency},
                      {"directAccessAllowed", p.directAccessAllowed},
                      {"optionsNeeded", p.optionsNeeded}};
        if (!p.spares.empty()) param["spares"] = SparesValue(p.spares);
        if (i < padding.paramFillers.size() && !AllZero(padding.paramFillers[i])) {
            param["fillers"] = HexValue(padding.paramFillers[i].data(), padding.paramFillers[i].size());
        }
        params.push_back(param);
    }
    root["parameters"] = params;
    if (!padding.trailing.empty()) root["trailing"] = HexValue(padding.trailing.data(), padding.trailing.size());

    std::string out;
    Pretty(root, 0, &out);
    return out + "\n";
}

bool DescriptionFromText(const std::string& text, Description* d, DescriptionPadding* padding, std::string* why) {
    try {
        if (!JsonNestingWithin(text)) {
            if (why) *why = "nested more than " + std::to_string(kMaxJsonNesting) + " levels deep";
            return false;
        }
        const Json root = Json::parse(text);
        return FromJson(root, d, padding, why);
    } catch (const std::exception& e) {
        if (why) *why = e.what();
        return false;
    }
}

bool DescriptionBytesToText(const std::vector<uint8_t>& bytes, std::string* text, std::string* why) {
    Description d;
    DescriptionPadding padding;
    if (!ParseDescription(bytes.data(), bytes.size(), &d, &padding, why)) return false;
    try {
        *text = DescriptionToText(d, padding);
    } catch (const std::exception& e) {
        if (why) *why = e.what();
        return false;
    }
    return true;
}

bool DescriptionTextToBytes(const std::string& text, std::vector<uint8_t>* bytes, std::string* why) {
    Description d;
    DescriptionPadding padding;
    if (!DescriptionFromText(text, &d, &padding, why)) return false;
    return SerializeDescription(d, &padding, bytes, why);
}

}  // namespace ombrix
