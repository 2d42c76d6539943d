#include "frame/HelpTopics.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string_view>

namespace ombrix {
namespace {

struct Topic {
    const char* objectName;
    const char* page;
};

// Innermost windows first in each chain, so a panel's page wins over its host's.
constexpr Topic kTopics[] = {
    {"IRIS", "task-iris.html"},
    {"SELECTIONPANEL", "task-groups.html"},
    {"GROUPBOX", "task-groups.html"},
    {"ADDPROJECTORBOX", "task-groups.html"},
    {"FORCEDIALOG", "task-source.html"},
    {"BRONSWITCHING", "task-source.html"},
    {"CTRLDIALOGBOX", "task-picture.html"},
    {"COMPAREBOX", "task-picture.html"},
    {"DirectAccess", "task-picture.html"},
    {"HISTORYVIEW", "task-history.html"},
    {"projectorBlocks", "task-backup.html"},
    {"ramBlocks", "task-copy.html"},
    {"THREADTIPBOX", "troubleshooting.html"},
    {"COMMSETBOX", "troubleshooting.html"},
    {"PROGRESSBOX", "search.html"},
    {"VIEWADDRESSSETBOX", "search.html"},
    {"RCUDLGBOX", "task-handset.html"},
    {"MDIComm", "communication.html"},
    {"MDIMain", "explorer.html"},
};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

size_t Count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size())) ++n;
    return n;
}

std::string Entity(std::string_view name) {
    if (name == "amp") return "&";
    if (name == "lt") return "<";
    if (name == "gt") return ">";
    if (name == "quot") return "\"";
    if (name == "nbsp") return " ";
    return " ";
}

}  // namespace

std::string HelpPageFor(const std::vector<std::string>& objectNames) {
    for (const std::string& name : objectNames)
        for (const Topic& t : kTopics)
            if (name == t.objectName) return t.page;
    return kHelpContentsPage;
}

std::vector<size_t> SearchHelp(const std::vector<HelpPage>& pages, const std::string& query) {
    std::vector<std::string> words;
    std::istringstream in(Lower(query));
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return {};
    std::vector<std::pair<size_t, size_t>> found;  // hits, page
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string text = Lower(pages[i].title + " " + pages[i].text);
        size_t hits = 0;
        bool all = true;
        for (const std::string& w : words) {
            const size_t n = Count(text, w);
            all = all && n > 0;
            hits += n;
        }
        if (all) found.emplace_back(hits, i);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<size_t> order;
    for (const auto& f : found) order.push_back(f.second);
    return order;
}

HelpPage ReadHelpPage(const std::string& file, const std::string& html) {
    HelpPage page;
    page.file = file;
    const std::string lower = Lower(html);
    const size_t open = lower.find("<title>");
    const size_t close = open == std::string::npos ? open : lower.find("</title>", open);
    if (close != std::string::npos) page.title = html.substr(open + 7, close - open - 7);
    bool inTag = false;
    for (size_t i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (inTag) {
            if (c == '>') {
                inTag = false;
                page.text += ' ';
            }
        } else if (c == '<') {
            inTag = true;
        } else if (c == '&') {
            const size_t end = html.find(';', i);
            if (end == std::string::npos || end - i > 8) {
                page.text += c;
                continue;
            }
            page.text += Entity(std::string_view(html).substr(i + 1, end - i - 1));
            i = end;
        } else {
            page.text += c == '\n' ? ' ' : c;
        }
    }
    return page;
}

}  // namespace ombrix
