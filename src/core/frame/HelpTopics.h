#pragma once
// Which help page belongs to which window (F1 opens it), and the help window's search.
#include <string>
#include <vector>

namespace ombrix {

constexpr const char* kHelpContentsPage = "index.html";

// The page for the window that has the keyboard focus, given the object names of the
// focus widget and its parents, innermost first; the innermost window that has a page
// wins, and the contents page answers for the rest.
std::string HelpPageFor(const std::vector<std::string>& objectNames);

struct HelpPage {
    std::string file;   // "task-iris.html"
    std::string title;  // the page's <title>
    std::string text;   // its words, markup removed
};

// The pages that hold every word of the query (any case), those with the most hits
// first, in the order given among equals. An empty query finds nothing.
std::vector<size_t> SearchHelp(const std::vector<HelpPage>& pages, const std::string& query);

// The words of an HTML page without its markup, and its <title>.
HelpPage ReadHelpPage(const std::string& file, const std::string& html);

}  // namespace ombrix
