#include "editor/TextSearch.h"

namespace ombrix {
namespace {

// Upper case of the Latin-1 letters; other characters compare as they are.
char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

bool SameText(const std::u16string& text, size_t at, const std::u16string& find, bool matchCase) {
    if (at + find.size() > text.size()) return false;
    for (size_t i = 0; i < find.size(); ++i) {
        const char16_t a = text[at + i];
        const char16_t b = find[i];
        if (matchCase ? a != b : Upper(a) != Upper(b)) return false;
    }
    return true;
}

// A line feed separates words too: the pane keeps lines apart by it alone.
bool IsWordSeparator(char16_t c) {
    return c == u' ' || c == u'\t' || c == u',' || c == u'.' || c == u'\r' || c == u'\n';
}

bool IsWholeWord(const std::u16string& text, size_t at, size_t n) {
    const bool before = at == 0 || IsWordSeparator(text[at - 1]);
    const bool after = at + n >= text.size() || IsWordSeparator(text[at + n]);
    return before && after;
}

bool MatchesAt(const std::u16string& text, size_t at, const std::u16string& find, const SearchFlags& flags) {
    // The first character decides cheaply before the whole string is compared.
    if (Upper(text[at]) != Upper(find[0])) return false;
    if (!SameText(text, at, find, flags.matchCase)) return false;
    return !flags.wholeWord || IsWholeWord(text, at, find.size());
}

}  // namespace

int SearchStep(const std::u16string& text, const std::u16string& find, int selStart, int selEnd,
               const SearchFlags& flags) {
    const int length = static_cast<int>(text.size());
    const int n = static_cast<int>(find.size());
    if (n == 0 || length == 0) return -1;
    int s = std::min(std::max(selStart, 0), length);
    const int e = std::min(std::max(selEnd, s), length);
    if (e - s == n && SameText(text, static_cast<size_t>(s), find, false)) s += flags.down ? 1 : -1;
    if (flags.down) {
        for (int at = std::max(s, 0); at + n <= length; ++at) {
            if (MatchesAt(text, static_cast<size_t>(at), find, flags)) return at;
        }
    } else {
        for (int at = std::min(s, length - 1); at >= 0; --at) {
            if (MatchesAt(text, static_cast<size_t>(at), find, flags)) return at;
        }
    }
    return -1;
}

int ReplaceAll(std::u16string* text, const std::u16string& find, const std::u16string& replacement,
               const SearchFlags& flags, std::vector<int>* positions) {
    SearchFlags forward = flags;
    forward.down = true;
    int count = 0;
    int caret = 0;
    for (;;) {
        const int at = SearchStep(*text, find, caret, caret, forward);
        if (at < 0) break;
        text->replace(static_cast<size_t>(at), find.size(), replacement);
        if (positions) positions->push_back(at);
        caret = at + static_cast<int>(replacement.size());
        ++count;
    }
    return count;
}

}  // namespace ombrix
