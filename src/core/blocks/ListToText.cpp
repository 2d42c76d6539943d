#include "blocks/ListToText.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

std::string Cell(const std::vector<std::string>& row, size_t column, size_t maxChars) {
    if (column >= row.size()) return {};
    return row[column].substr(0, maxChars);
}

std::string Border(const std::vector<size_t>& widths) {
    std::string s;
    for (size_t w : widths) s += std::string(w + 1, '-');
    return s + "-\n";
}

std::string Line(const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
    std::string s;
    for (size_t c = 0; c < widths.size(); ++c) {
        s += '|';
        s += cells[c];
        s += std::string(widths[c] - cells[c].size(), ' ');
    }
    return s + "|\n";
}

}  // namespace

std::string ListToText(const ListModel& list, int cellLimit, const std::string& listingType,
                       const std::string& additionalInfo, const std::tm& when) {
    // Each cell is read into a buffer of cellLimit characters, terminator included.
    const size_t maxChars = cellLimit > 1 ? static_cast<size_t>(cellLimit - 1) : 0;
    const size_t columns = list.headings.size();
    std::vector<std::string> headings(columns);
    std::vector<size_t> widths(columns, 0);
    for (size_t c = 0; c < columns; ++c) {
        headings[c] = Cell(list.headings, c, maxChars);
        widths[c] = headings[c].size();
    }
    std::vector<std::vector<std::string>> rows;
    rows.reserve(list.rows.size());
    for (const auto& row : list.rows) {
        std::vector<std::string> cells(columns);
        for (size_t c = 0; c < columns; ++c) {
            cells[c] = Cell(row, c, maxChars);
            widths[c] = std::max(widths[c], cells[c].size());
        }
        rows.push_back(std::move(cells));
    }

    char date[32], time[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", when.tm_mon + 1, when.tm_mday, when.tm_year % 100);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", when.tm_hour, when.tm_min, when.tm_sec);
    std::string out;
    out += "Header :\n";
    out += "--------\n";
    out += "\n";
    out += "Listing type    :" + listingType + "\n";
    out += "Additional Info :" + additionalInfo + "\n";
    out += std::string("Date            :") + date + "\n";
    out += std::string("Time            :") + time + "\n";
    out += "\n\n\n";
    out += Border(widths);
    out += Line(headings, widths);
    out += Border(widths);
    for (const auto& cells : rows) out += Line(cells, widths);
    return out;
}

bool ConvertListToText(const Env& env, const ListModel& list, int cellLimit, const std::string& listingType,
                       const std::string& additionalInfo, const std::string& path) {
    std::string text;
    try {
        const std::time_t now = std::time(nullptr);
        std::tm when{};
        localtime_r(&now, &when);
        text = ListToText(list, cellLimit, listingType, additionalInfo, when);
    } catch (const std::bad_alloc&) {
        ShowError(env, 40);
        return false;
    }
    if (!WriteFileAtomic(path, std::vector<uint8_t>(text.begin(), text.end()), nullptr)) {
        ShowError(env, 38);
        return false;
    }
    return true;
}

}  // namespace ombrix
