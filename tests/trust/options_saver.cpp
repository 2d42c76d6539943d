// Saves options.cfg of the working directory in a loop, alternating between two option
// records (3 and 5 sources), until it is killed.
#include <cstdio>

#include "app/Options.h"

int main() {
    using namespace ombrix;
    ProgramOptions records[2];
    for (int r = 0; r < 2; ++r) {
        for (int i = 0; i < 3 + 2 * r; ++i) {
            SourceEntry s;
            s.inputSlot = i + 1;
            s.SetName("Input " + std::to_string(r) + "." + std::to_string(i));
            records[r].sources.push_back(s);
        }
    }
    for (unsigned n = 0;; ++n) {
        if (!WriteOptionsFile(kOptionsFileName, records[n % 2], nullptr)) {
            std::perror("options.cfg");
            return 1;
        }
    }
}
