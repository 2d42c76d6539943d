#include "editor/PrintLayout.h"

#include <algorithm>

namespace ombrix {

int LinesPerPage(int printableHeight, int lineHeight) {
    if (lineHeight <= 0) return 1;
    return std::max(printableHeight / lineHeight - 1, 1);
}

std::vector<PrintedPage> PrintPages(const PrintRequest& r) {
    const int perPage = std::max(r.linesPerPage, 1);
    std::vector<PrintedPage> once;
    // Pages of perPage lines from line `start` up to line `end` (excluded), numbered from
    // page `firstPage`.
    auto cut = [&](int start, int end, int firstPage) {
        for (int line = start, page = firstPage; line < end; line += perPage, ++page) {
            PrintedPage p;
            p.page = page;
            for (int l = line; l < std::min(line + perPage, end); ++l) p.lines.push_back(l);
            once.push_back(std::move(p));
        }
    };
    switch (r.range) {
        case PrintRange::All:
            cut(0, r.lineCount, 0);
            break;
        case PrintRange::Pages: {
            const long long from = std::max(r.fromPage, 1) - 1;
            const long long end = std::min(static_cast<long long>(r.toPage) * perPage,
                                           static_cast<long long>(r.lineCount));
            if (from * perPage < end) cut(static_cast<int>(from * perPage), static_cast<int>(end), static_cast<int>(from));
            break;
        }
        case PrintRange::Selection: {
            const int first = std::clamp(r.firstLine, 0, std::max(r.lineCount - 1, 0));
            const int last = std::clamp(r.lastLine, first, std::max(r.lineCount - 1, 0));
            if (r.lineCount > 0) cut(first, last + 1, first / perPage);
            break;
        }
    }
    std::vector<PrintedPage> out;
    const int copies = std::max(r.copies, 1);
    if (r.collate) {
        for (int c = 0; c < copies; ++c) out.insert(out.end(), once.begin(), once.end());
    } else {
        for (const PrintedPage& p : once) out.insert(out.end(), static_cast<size_t>(copies), p);
    }
    return out;
}

std::u16string PrintedLineText(const std::u16string& line) {
    return line.substr(0, std::min<size_t>(line.size(), kPrintLineChars));
}

}  // namespace ombrix
