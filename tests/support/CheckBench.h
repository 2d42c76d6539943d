#pragma once
// A program on the in-process bus on a scaled clock, its working directory fresh and the
// three projectors of kThreeProjectors found by the search: where the background
// check's tests begin.
#include <gtest/gtest.h>

#include <string>

#include "Loaders.h"
#include "SimBench.h"
#include "TempDir.h"
#include "app/Program.h"
#include "discovery/Search.h"

namespace ombrix::testing {

struct SearchedProgram {
    SearchedProgram() {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(kThreeProjectors, &bus, &error)) << error;
        StartProgram(state);
        EXPECT_EQ(SetupConnection(state.env, state.link, kOwnerCommWindow), 1);
        SetSearchMode(state.options, kCmdCheckTo16);
        state.options.searchLimit = 4;
        EXPECT_TRUE(SearchConnectedProjectors(state));
        ready = state.projectors.connectedCount == 3;
    }
    ~SearchedProgram() { CloseConnectionAll(state.link); }

    TempDir dir;
    ScaledClock clock{50.0};
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    SelectiveLoader loader;
    ProgramState state{clock, ui, loader, opener};
    bool ready = false;
};

}  // namespace ombrix::testing
