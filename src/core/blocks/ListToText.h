#pragma once
// Any report-style list of the program as a boxed plain-text table with a short heading.
// The lists are core models (headings and cell texts), so the window, the command-line
// tool and the tests write the same bytes.
#include <ctime>
#include <string>
#include <vector>

#include "platform/Env.h"

namespace ombrix {

struct ListModel {
    std::vector<std::string> headings;
    std::vector<std::vector<std::string>> rows;  // a row shorter than the headings has blank cells
};

// The block lists read at most 30 characters of a cell (29 and the terminator).
constexpr int kBlockListCellLimit = 30;

// The whole text, with the date and time of when.
std::string ListToText(const ListModel& list, int cellLimit, const std::string& listingType,
                       const std::string& additionalInfo, const std::tm& when);

// Writes the text atomically to path (chosen by the caller's save dialog), dated now.
// Error 38 when the file cannot be written, error 40 when memory runs out.
bool ConvertListToText(const Env& env, const ListModel& list, int cellLimit, const std::string& listingType,
                       const std::string& additionalInfo, const std::string& path);

}  // namespace ombrix
