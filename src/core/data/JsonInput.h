#pragma once
// The one rule for JSON that comes from outside (HTTP bodies, MQTT payloads, the service's
// files): nesting is bounded before a parser sees the text, and a message quotes an
// untrusted value only as a short excerpt.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace ombrix {

// Deeper nesting than any file or request of ours needs; recursion over a value (printing,
// comparing, copying) stays shallow.
constexpr int kMaxJsonNesting = 64;
constexpr size_t kExcerptChars = 40;

// Whether arrays and objects nest at most limit deep (brackets inside strings do not count).
bool JsonNestingWithin(std::string_view text, int limit = kMaxJsonNesting);

// At most maxChars characters of text (whole UTF-8 sequences; a byte that is not UTF-8
// becomes '?'), control characters as \n, \t or \xNN, "..." when cut. Also what puts an
// untrusted text into a log line.
std::string Excerpt(std::string_view text, size_t maxChars = kExcerptChars);
bool ValidUtf8(std::string_view text);
// A value as JSON text, cut the same way; safe for any value a reader accepted.
std::string JsonExcerpt(const nlohmann::json& value);
std::string JsonExcerpt(const nlohmann::ordered_json& value);

// A parser keeps the last of a key given twice in one object and drops the first without
// a word; a text that says two things is refused instead. Empty when no key repeats (or
// the text is not JSON), else the refusal: "it gives the key "time" twice in one object".
std::string RepeatedKeyText(std::string_view text);

// The text as one JSON value, or false with why: nested too deeply, not JSON, or a key
// given twice in one object.
template <class Json>
bool ReadJsonText(std::string_view text, Json* out, std::string* why) {
    if (!JsonNestingWithin(text)) {
        if (why) *why = "nested more than " + std::to_string(kMaxJsonNesting) + " levels deep";
        return false;
    }
    Json doc = Json::parse(text.begin(), text.end(), nullptr, false);
    if (doc.is_discarded()) {
        if (why) *why = "not valid JSON";
        return false;
    }
    if (std::string repeated = RepeatedKeyText(text); !repeated.empty()) {
        // Reads on after "the body is ..." as well as alone.
        if (why) *why = "refused: " + repeated;
        return false;
    }
    *out = std::move(doc);
    return true;
}

}  // namespace ombrix
