// ombrix-cli search and watch: the program's own search and background check, with
// their lines on standard output.
#include <algorithm>
#include <climits>
#include <functional>
#include <iostream>

#include "Cli.h"
#include "StreamUi.h"
#include "app/Program.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/LineRules.h"
#include "discovery/ProjectorListRow.h"
#include "discovery/QuickSearch.h"
#include "discovery/Search.h"
#include "platform/Dispatcher.h"
#include "projector/Messages.h"

namespace ombrix::cli {
namespace {

constexpr int kCheckTimer = 1;
constexpr int kReopenTimer = 2;

// Start-up as the program does it: options.cfg read (or created), comm.cfg and the
// COM mapping, then the line.
struct Session {
    Session(const CliPorts& ports, StreamUi& ui)
        : state(*ports.clock, ui, *ports.libraries, *ports.devices) {}
    ProgramState state;
};

bool Open(Session& s, const LineOptions& line, const CliPorts& ports) {
    StartProgram(s.state);
    LoadCommSettings(s.state);
    return OpenLine(s.state.env, s.state.link, line, *ports.err);
}

// The communication window's search: skipped in "Skip Search" mode, warning 18 when
// nobody answers. Quick when asked for, else as quicksearch.cfg says.
SearchVerdict Search(Session& s, StreamUi& ui, const CliPorts& ports, const QuickSearchOptions* quick = nullptr) {
    ui.echoProgress = true;
    const SearchVerdict verdict = RunSearchRule(s.state, quick ? QuickAddressProbe(s.state, *quick) : AddressProbe(), {});
    ui.echoProgress = false;
    if (verdict == SearchVerdict::Skipped) {
        *ports.err << "ombrix-cli: the search mode in options.cfg is \"Skip Search\"\n";
        return verdict;
    }
    const ProjectorTable& t = s.state.projectors;
    for (int i = 0; i < t.connectedCount; ++i) ui.Print(ProjectorLine(s.state.env, t.records[static_cast<size_t>(i)]));
    return verdict;
}

void Close(Session& s) {
    CloseConnection(s.state.link, kOwnerTool);
    ShutdownProgram(s.state);
}

bool Interrupted(const CliPorts& ports) { return ports.interrupted && ports.interrupted->load(); }

std::string ReopenText() { return "trying to reopen it every " + std::to_string(kReopenEveryMs / 1000) + " s"; }

// Every few seconds until the line is back; false when stopped with Ctrl+C first.
bool WaitForLineBack(Session& s, const CliPorts& ports) {
    *ports.err << "ombrix-cli: " << ReopenText() << '\n';
    TaskQueue queue(*ports.clock);
    bool back = false;
    KeepReopening(queue, kReopenTimer, s.state.env, s.state.link, kOwnerTool, false, [&] { back = true; });
    queue.RunUntil(UINT64_MAX, [&] { return back || Interrupted(ports); });
    queue.KillTimer(kReopenTimer);
    if (back) *ports.err << "ombrix-cli: the line " << LineName(s.state.link) << " is back\n";
    return back;
}

// The watch's search: a line lost while searching is waited for and the search run
// again, as the check does mid-run. False when the watch ends without a search that
// held (--once, Ctrl+C).
bool SearchWhileLineHolds(Session& s, StreamUi& ui, const CliPorts& ports, bool once) {
    for (;;) {
        if (Search(s, ui, ports) != SearchVerdict::LineLost) return true;
        if (once || !WaitForLineBack(s, ports)) return false;
    }
}

}  // namespace

std::string ProjectorLine(const Env& env, const ProjectorRecord& r) {
    const ProjectorRowTexts t = ProjectorListRow(env, r);
    return t.address + " " + t.letter + " " + t.typeCode + " " + t.model + " " + t.version + " " + t.idNumber + " " +
           t.state;
}

int RunSearchCommand(const std::vector<std::string>& args, const LineOptions& line, const CliPorts& ports) {
    // The quick search's margin comes from quicksearch.cfg unless given here.
    QuickSearchOptions quick;
    LoadQuickSearchOptions(kQuickSearchFileName, &quick);
    bool forceQuick = false;
    for (size_t i = 0; i < args.size(); ++i) {
        long margin = 0;
        if (args[i] == "--quick") {
            forceQuick = true;
        } else if (args[i] == "--margin" && i + 1 < args.size() && ParseNumber(args[i + 1], 0, kQuickMaxMarginMs, &margin)) {
            quick.marginMs = static_cast<uint32_t>(margin);
            ++i;
        } else {
            return UsageError(*ports.err, "search takes --quick [--margin 0-2000 ms]");
        }
    }
    StreamUi ui(*ports.out, *ports.err);
    ui.cancel = ports.interrupted;
    Session s(ports, ui);
    if (!Open(s, line, ports)) {
        ShutdownProgram(s.state);
        return kExitFailed;
    }
    const SearchVerdict verdict = Search(s, ui, ports, forceQuick ? &quick : nullptr);
    Close(s);
    return verdict == SearchVerdict::Found ? kExitDone : kExitFailed;
}

int RunWatchCommand(const std::vector<std::string>& args, const LineOptions& line, const CliPorts& ports) {
    long interval = 0;
    bool once = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--once") {
            once = true;
        } else if (args[i] == "--interval") {
            if (++i >= args.size() || !ParseNumber(args[i], 1, 86400, &interval)) {
                return UsageError(*ports.err, "--interval needs 1-86400 seconds");
            }
        } else {
            return UsageError(*ports.err, "unknown watch argument " + args[i]);
        }
    }
    StreamUi ui(*ports.out, *ports.err);
    ui.cancel = ports.interrupted;
    Session s(ports, ui);
    if (!Open(s, line, ports)) {
        ShutdownProgram(s.state);
        return kExitFailed;
    }
    if (!SearchWhileLineHolds(s, ui, ports, once)) {
        Close(s);
        return kExitFailed;
    }
    // The search may have been stopped with Ctrl+C; a watch then ends too.
    auto interrupted = [&] { return Interrupted(ports); };
    if (s.state.options.checkQuiet || !s.state.options.checkEnabled) {
        *ports.err << "ombrix-cli: the background check is switched off in options.cfg\n";
        Close(s);
        return kExitFailed;
    }
    TaskQueue queue(*ports.clock);
    bool done = false;
    bool failed = false;
    bool watched = false;
    {
        BackgroundCheck* checkPtr = nullptr;
        BackgroundCheck::Hooks hooks;
        hooks.armTimer = [&](uint32_t ms) { queue.StartTimer(kCheckTimer, ms, [&] { checkPtr->OnCheckTimer(); }); };
        hooks.applied = [&](const CheckApplied& applied) {
            for (const ProjectorRecord& r : applied.removedRecords) ui.Print("removed: " + ProjectorLine(s.state.env, r));
            const ProjectorTable& t = s.state.projectors;
            for (int address : applied.stateChanged) {
                for (int i = 0; i < t.connectedCount; ++i) {
                    const ProjectorRecord& r = t.records[static_cast<size_t>(i)];
                    if (r.address == address) ui.Print("changed: " + ProjectorLine(s.state.env, r));
                }
            }
            if (once) done = true;
        };
        // Unattended: a lost line is reopened every few seconds, quietly, and the check
        // carries on once it is back.
        bool lost = false;
        hooks.lineLost = [&] {
            lost = true;
            if (once) {
                done = true;
                return;
            }
            *ports.err << "ombrix-cli: " << ReopenText() << '\n';
            KeepReopening(queue, kReopenTimer, s.state.env, s.state.link, kOwnerTool, false, [&] {
                *ports.err << "ombrix-cli: the line " << LineName(s.state.link) << " is back\n";
                checkPtr->ArmCheckTimer();
            });
        };
        BackgroundCheck check(s.state, queue, hooks);
        checkPtr = &check;
        if (interval) check.SetIntervalOverride(static_cast<uint32_t>(interval) * 1000);
        // The lines of the evaluation pass are for the window's tip; the log has its own.
        check.SetEvaluate(false);
        ui.echoCheck = true;
        if (!interrupted() && check.Start()) {
            watched = true;
            queue.RunUntil(UINT64_MAX, [&] { return done || interrupted(); });
        } else if (!interrupted()) {
            *ports.err << "ombrix-cli: no projector to watch\n";
        }
        check.RequestCheckStop();
        if (lost && once) failed = true;
    }
    ui.echoCheck = false;
    Close(s);
    // A watch that never watched (nobody found, stopped first) is no success.
    return failed || !watched ? kExitFailed : kExitDone;
}

}  // namespace ombrix::cli
