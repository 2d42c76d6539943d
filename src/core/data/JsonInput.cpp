#include "data/JsonInput.h"

#include <cstdio>
#include <set>
#include <vector>

namespace ombrix {

bool JsonNestingWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

namespace {

// Length of the UTF-8 sequence starting at s[i], 0 when it is not one.
size_t Utf8Length(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) n = 3;
    else if (c >= 0xF0 && c <= 0xF4) n = 4;
    else return 0;
    if (n > s.size() - i) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

template <class Json>
std::string DumpExcerpt(const Json& v) {
    // Only the first characters are shown: a long string is cut before it is dumped.
    if (v.is_string()) {
        const std::string& s = v.template get_ref<const std::string&>();
        return Excerpt(Json(s.substr(0, kExcerptChars * 4 + 8)).dump(-1, ' ', false, Json::error_handler_t::replace));
    }
    return Excerpt(v.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace

bool ValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string Excerpt(std::string_view text, size_t maxChars) {
    std::string out;
    size_t chars = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (chars == maxChars) return out + "...";
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += '?';
            ++i;
        } else if (c == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\t') {
            out += "\\t";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
        ++chars;
    }
    return out;
}

namespace {

class RepeatedKeyFinder final : public nlohmann::json_sax<nlohmann::json> {
public:
    std::string repeated;
    bool found = false;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        keys_.emplace_back();
        return true;
    }
    bool key(string_t& k) override {
        if (!keys_.back().insert(k).second) {
            repeated = k;
            found = true;
            return false;
        }
        return true;
    }
    bool end_object() override {
        keys_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    std::vector<std::set<std::string>> keys_;
};

}  // namespace

std::string RepeatedKeyText(std::string_view text) {
    if (!JsonNestingWithin(text)) return {};
    RepeatedKeyFinder finder;
    // The finder stops the parse at the first key given twice.
    if (nlohmann::json::sax_parse(text.begin(), text.end(), &finder) || !finder.found) return {};
    return "it gives the key " + JsonExcerpt(nlohmann::json(finder.repeated)) + " twice in one object";
}

std::string JsonExcerpt(const nlohmann::json& value) { return DumpExcerpt(value); }
std::string JsonExcerpt(const nlohmann::ordered_json& value) { return DumpExcerpt(value); }

}  // namespace ombrix
