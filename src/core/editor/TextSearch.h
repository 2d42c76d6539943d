#pragma once
// The editor's find and replace: one search step over the text and Replace all. Texts
// are UTF-16, as the editing pane holds them, so positions are the pane's positions.
#include <string>
#include <vector>

namespace ombrix {

constexpr size_t kFindStringSize = 80;

struct SearchFlags {
    bool down = true;
    bool matchCase = false;
    bool wholeWord = false;
};

// Where the next match of find begins, searching from the selection [selStart, selEnd),
// or -1. A selection that already is a match (regardless of case) is stepped over, so
// the same occurrence is never found twice in a row.
int SearchStep(const std::u16string& text, const std::u16string& find, int selStart, int selEnd,
               const SearchFlags& flags);

// Replaces every match from the start of the text on, each search starting after the
// previous replacement, so a replacement that contains the find string ends. Returns
// the number of replacements; positions (if given) receives where each one was made,
// in the text as it stood at that moment.
int ReplaceAll(std::u16string* text, const std::u16string& find, const std::u16string& replacement,
               const SearchFlags& flags, std::vector<int>* positions = nullptr);

}  // namespace ombrix
