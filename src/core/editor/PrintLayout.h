#pragma once
// Which lines of the text go on which printed page, and in which order the pages come
// out for several copies. Pure arithmetic, so any printer (or a PDF file) gets the same.
#include <string>
#include <vector>

namespace ombrix {

// A printed line carries at most this many characters of its text line.
constexpr int kPrintLineChars = 127;

enum class PrintRange { All, Pages, Selection };

struct PrintRequest {
    int lineCount = 0;
    int linesPerPage = 1;
    PrintRange range = PrintRange::All;
    int fromPage = 1;  // 1-based, both included (Pages)
    int toPage = 1;
    int firstLine = 0;  // the selection's first and last line (Selection)
    int lastLine = 0;
    int copies = 1;
    bool collate = true;
};

struct PrintedPage {
    int page = 0;            // 0-based page of the text
    std::vector<int> lines;  // text lines, top to bottom
};

// One line less than fits, so the last line never touches the bottom edge; at least 1.
int LinesPerPage(int printableHeight, int lineHeight);

// The pages in the order they are printed. A selection starts at the top of its first
// page with its first line; pages that would carry no line are not printed.
std::vector<PrintedPage> PrintPages(const PrintRequest& request);

// The part of a text line that is printed.
std::u16string PrintedLineText(const std::u16string& line);

}  // namespace ombrix
