#pragma once
// The window program's own command-line options, read after --workdir has been taken out.
#include <string>
#include <vector>

namespace ombrix {

struct WindowArgs {
    // --communication: the communication window opens at start, as F2 opens it.
    bool openCommunication = false;
    // A usage error (an option the program does not know); the text says which.
    std::string error;
};

WindowArgs ReadWindowArgs(const std::vector<std::string>& args);

extern const char kWindowUsage[];
extern const char kWindowOptionsHelp[];

}  // namespace ombrix
