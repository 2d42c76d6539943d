// One "+1" press (Picture, slot 1) on a group of four projectors through the line given,
// against the same press made on each of the four alone: a group press should cost four
// single presses and nothing more. Prints "GROUP_SECONDS SINGLES_SECONDS".
// Usage: group_press DEVICE DESCRIPTION_DIR ADDR...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Program.h"
#include "directaccess/DirectAccess.h"
#include "discovery/Search.h"
#include "link/Link.h"
#include "platform/Clock.h"
#include "platform/Library.h"
#include "platform/RecordingUi.h"
#include "platform/SerialDevice.h"

int main(int argc, char** argv) {
    using namespace ombrix;
    if (argc < 4) {
        std::fprintf(stderr, "usage: group_press DEVICE DESCRIPTION_DIR ADDR...\n");
        return 2;
    }
    SteadyClock clock;
    RecordingUi ui;
    DlLibraryLoader loader;
    SystemDeviceOpener opener;
    ProgramState state{clock, ui, loader, opener};
    state.startDirectory = argv[2];
    state.link.deviceOverride = argv[1];
    if (!SetupConnection(state.env, state.link, kOwnerTool)) {
        std::fprintf(stderr, "group_press: cannot open %s\n", argv[1]);
        return 1;
    }
    UserGroup group{"Bench", {}, {}};
    for (int i = 3; i < argc; ++i) {
        const int a = std::atoi(argv[i]);
        ProjectorRecord r;
        if (!ProbeAddress(state.link, state.env, a, &r, &state.statusFlags, false).answered) {
            std::fprintf(stderr, "group_press: no projector at %d\n", a);
            return 1;
        }
        state.projectors.records[static_cast<size_t>(state.projectors.connectedCount++)] = r;
        group.members.push_back(static_cast<uint8_t>(a));
    }
    state.groups.groups.push_back(group);
    state.direct.page = kPagePicture;
    state.link.currentAddress = group.members[0];
    using Seconds = std::chrono::duration<double>;
    int shown = 0;

    state.direct.selection = {SelectionKind::Group, "Bench"};
    auto start = std::chrono::steady_clock::now();
    AdjustSlot(state, 1, 1, &shown);
    const double groupSeconds = Seconds(std::chrono::steady_clock::now() - start).count();

    state.direct.selection = {};
    start = std::chrono::steady_clock::now();
    for (uint8_t a : group.members) {
        state.link.currentAddress = a;
        AdjustSlot(state, 1, 1, &shown);
    }
    const double singleSeconds = Seconds(std::chrono::steady_clock::now() - start).count();
    CloseConnection(state.link, kOwnerTool);
    std::printf("%.3f %.3f\n", groupSeconds, singleSeconds);
    return 0;
}
