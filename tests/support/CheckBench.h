#pragma once
// A program on the in-process bus on a scaled clock, its working directory fresh and the
// three projectors of kThreeProjectors found by the search: where the background
// check's tests begin.
#include <gtest/gtest.h>

#include <string>

#include "Cli.h"
#include "Loaders.h"
#include "SimBench.h"
#include "TempDir.h"
#include "app/Options.h"
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

// ombrix-cli on the in-process bus on a scaled clock, in a fresh working directory whose
// options.cfg has the search take addresses 1 to 3.
struct WatchBench {
    WatchBench() {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(kThreeProjectors, &bus, &error)) << error;
        ProgramOptions o;
        o.searchLimit = 3;
        o.rangeEnd = 3;
        EXPECT_TRUE(WriteOptionsFile("options.cfg", o, nullptr));
    }
    cli::CliPorts Ports(std::ostream& out, std::ostream& err) {
        cli::CliPorts ports;
        ports.clock = &clock;
        ports.devices = &opener;
        ports.libraries = &libraries;
        ports.out = &out;
        ports.err = &err;
        return ports;
    }

    TempDir dir;
    ScaledClock clock{50.0};
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    DlLibraryLoader libraries;
};

}  // namespace ombrix::testing
