#include "app/WindowArgs.h"

namespace ombrix {

const char kWindowUsage[] = "usage: ombrix [--workdir FOLDER] [--communication]";
const char kWindowOptionsHelp[] =
    "  --workdir FOLDER   keep the program's files in FOLDER\n"
    "  --communication    open the communication window at start, as F2 does\n";

WindowArgs ReadWindowArgs(const std::vector<std::string>& args) {
    WindowArgs out;
    for (const std::string& a : args) {
        if (a == "--communication") {
            out.openCommunication = true;
        } else {
            // Only the start of an unknown argument: it may be anything a launcher passed.
            out.error = "unknown argument " + (a.size() > 40 ? a.substr(0, 40) + "..." : a);
            return out;
        }
    }
    return out;
}

}  // namespace ombrix
