// ombrix-cli search and watch: the program's own search and background check, with
// their lines on standard output, or (watch --json) their events as the server gives them.
#include <algorithm>
#include <climits>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "Cli.h"
#include "CliLine.h"
#include "StreamUi.h"
#include "app/Program.h"
#include "blocks/Groups.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/LineRules.h"
#include "discovery/ProjectorListRow.h"
#include "discovery/QuickSearch.h"
#include "discovery/Search.h"
#include "platform/Dispatcher.h"
#include "projector/Messages.h"
#include "service/LiveView.h"

namespace ombrix::cli {
namespace {

constexpr int kCheckTimer = 1;
constexpr int kReopenTimer = 2;

// Boxes become "box" events; questions get the default No.
class EventUi final : public Ui {
public:
    EventUi(EventHub& hub, const std::atomic<bool>* cancel) : hub_(hub), cancel_(cancel) {}
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon) override {
        ServiceEvent e;
        e.kind = "box";
        e.fields = {{"caption", caption}, {"text", text}};
        hub_.Publish(e);
    }
    bool AskYesNo(const std::string& caption, const std::string& text) override {
        ShowBox(caption, text, BoxIcon::Question);
        return false;
    }
    bool ProgressCancelled() override { return cancel_ && cancel_->load(); }

private:
    EventHub& hub_;
    const std::atomic<bool>* cancel_;
};

// Where search and watch say what happens: lines on the terminal, or events on a hub
// that carry each projector as the server's API gives it (identity as read, serial
// number, running hours, standby, lost).
class Report {
public:
    Report(const CliPorts& ports, EventHub* hub) : ports_(ports), hub_(hub), ui_(*ports.out, *ports.err) {
        ui_.cancel = ports.interrupted;
        if (hub_) events_ = std::make_unique<EventUi>(*hub_, ports.interrupted);
    }
    Ui& ProgramUi() { return events_ ? static_cast<Ui&>(*events_) : ui_; }
    StreamUi& Text() { return ui_; }
    bool Events() const { return hub_ != nullptr; }
    // kind "error" or "message": "ombrix-cli: TEXT" on standard error without events.
    void Say(const char* kind, const std::string& text) {
        if (!hub_) {
            *ports_.err << "ombrix-cli: " << text << '\n';
            return;
        }
        ServiceEvent e;
        e.kind = kind;
        e.fields["text"] = text;
        hub_->Publish(e);
    }
    void Publish(const std::vector<ServiceEvent>& events) {
        if (hub_)
            for (const ServiceEvent& e : events) hub_->Publish(e);
    }
    // What ombrix-cli said in words where only its words are at hand (the line's set-up).
    void SayLines(const std::string& text) {
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) Say("error", l.rfind("ombrix-cli: ", 0) == 0 ? l.substr(12) : l);
    }

private:
    const CliPorts& ports_;
    EventHub* hub_;
    StreamUi ui_;
    std::unique_ptr<EventUi> events_;
};

// Start-up as the program does it: options.cfg read (or created), comm.cfg and the
// COM mapping, then the line.
struct Session {
    Session(const CliPorts& ports, Report& report)
        : state(*ports.clock, report.ProgramUi(), *ports.libraries, *ports.devices),
          live(state.env, [this](int address) { return GroupNames(address); }) {
        Grouping g;
        if (LoadGroupsFile(kGroupsFileName, &g).ok) groups = g;
    }
    // As the server names them: every projector is in "all", then in its groups.
    std::vector<std::string> GroupNames(int address) const {
        std::vector<std::string> names{"all"};
        for (const UserGroup& g : groups.groups)
            for (uint8_t m : g.members)
                if (m == address) names.push_back(g.name);
        return names;
    }
    ProgramState state;
    Grouping groups;
    LiveView live;
};

bool Open(Session& s, const LineOptions& line, const CliPorts& ports, Report& report) {
    StartProgram(s.state);
    if (!report.Events()) return OpenCliLine(s.state.env, s.state.link, line, *ports.err);
    std::ostringstream said;
    const bool opened = OpenCliLine(s.state.env, s.state.link, line, said);
    report.SayLines(said.str());
    return opened;
}

// The communication window's search: skipped in "Skip Search" mode, warning 18 when
// nobody answers. Quick when asked for, else as quicksearch.cfg says. With events, each
// projector found is read whole (serial number, running hours) as the server reads it.
SearchVerdict Search(Session& s, Report& report, const QuickSearchOptions* quick = nullptr) {
    StreamUi& ui = report.Text();
    const AddressProbe probe = quick ? QuickAddressProbe(s.state, *quick) : ConfiguredSearchProbe(s.state);
    ui.echoProgress = !report.Events();
    const SearchVerdict verdict = RunSearchRule(
        s.state,
        [&](int32_t address, ProjectorRecord* record) {
            const ProbeOutcome p = probe(address, record);
            if (!report.Events() || p.abandon) return p;
            if (p.answered) {
                std::optional<KeptIdentity> identity;
                std::optional<long> hours;
                KeptIdentity read;
                if (CompleteKeptIdentity(s.state.link, *record, p.version, &read, &hours)) identity = read;
                report.Publish({s.live.Found(record, identity, hours)});
            } else {
                ServiceEvent e;
                e.kind = "not found";
                e.address = address;
                report.Publish({e});
            }
            return p;
        },
        {});
    ui.echoProgress = false;
    if (verdict == SearchVerdict::Skipped) {
        report.Say("error", "the search mode in options.cfg is \"Skip Search\"");
        return verdict;
    }
    report.Publish(s.live.SearchEnded(s.state));
    const ProjectorTable& t = s.state.projectors;
    for (int i = 0; i < t.connectedCount; ++i) {
        const ProjectorRecord& r = t.records[static_cast<size_t>(i)];
        if (!report.Events()) {
            ui.Print(ProjectorLine(s.state.env, r));
            continue;
        }
        ServiceEvent e;
        e.kind = "connected";
        e.address = r.address;
        e.fields["projector"] = s.live.Json(r);
        report.Publish({e});
    }
    return verdict;
}

void Close(Session& s) {
    CloseConnection(s.state.link, kOwnerTool);
    ShutdownProgram(s.state);
}

bool Interrupted(const CliPorts& ports) { return ports.interrupted && ports.interrupted->load(); }

std::string ReopenText() { return "trying to reopen it every " + std::to_string(kReopenEveryMs / 1000) + " s"; }

std::string BackText(const Link& link) { return "the line " + LineName(link) + " is back"; }

// Every few seconds until the line is back; false when stopped with Ctrl+C first.
bool WaitForLineBack(Session& s, const CliPorts& ports, Report& report) {
    report.Say("message", ReopenText());
    TaskQueue queue(*ports.clock);
    bool back = false;
    KeepReopening(queue, kReopenTimer, s.state.env, s.state.link, kOwnerTool, false, [&] { back = true; });
    queue.RunUntil(UINT64_MAX, [&] { return back || Interrupted(ports); });
    queue.KillTimer(kReopenTimer);
    if (back) {
        if (report.Events()) {
            report.Publish(s.live.LineChanged(true, BackText(s.state.link), s.state));
        } else {
            report.Say("message", BackText(s.state.link));
        }
    }
    return back;
}

// The watch's search: a line lost while searching is waited for and the search run
// again, as the check does mid-run. False when the watch ends without a search that
// held (--once, Ctrl+C).
bool SearchWhileLineHolds(Session& s, const CliPorts& ports, Report& report, bool once) {
    for (;;) {
        if (Search(s, report) != SearchVerdict::LineLost) return true;
        report.Publish(s.live.LineChanged(false, LineLostText(s.state.link), s.state));
        if (once || !WaitForLineBack(s, ports, report)) return false;
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
    Report report(ports, nullptr);
    Session s(ports, report);
    if (!Open(s, line, ports, report)) {
        ShutdownProgram(s.state);
        return kExitFailed;
    }
    const SearchVerdict verdict = Search(s, report, forceQuick ? &quick : nullptr);
    Close(s);
    return verdict == SearchVerdict::Found ? kExitDone : kExitFailed;
}

int RunWatchCommand(const std::vector<std::string>& args, const LineOptions& line, const CliPorts& ports,
                    EventHub* events) {
    Report report(ports, events);
    auto usage = [&](const std::string& why) {
        if (!events) return UsageError(*ports.err, why);
        report.Say("error", why);
        return kExitUsage;
    };
    long interval = 0;
    bool once = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--once") {
            once = true;
        } else if (args[i] == "--interval") {
            if (++i >= args.size() || !ParseNumber(args[i], 1, 86400, &interval)) {
                return usage("--interval needs 1-86400 seconds");
            }
        } else {
            return usage("unknown watch argument " + args[i]);
        }
    }
    StreamUi& ui = report.Text();
    Session s(ports, report);
    if (!Open(s, line, ports, report)) {
        ShutdownProgram(s.state);
        return kExitFailed;
    }
    if (!SearchWhileLineHolds(s, ports, report, once)) {
        Close(s);
        return kExitFailed;
    }
    // The search may have been stopped with Ctrl+C; a watch then ends too.
    auto interrupted = [&] { return Interrupted(ports); };
    if (s.state.options.checkQuiet || !s.state.options.checkEnabled) {
        report.Say("error", "the background check is switched off in options.cfg");
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
            if (!report.Events()) {
                for (const ProjectorRecord& r : applied.removedRecords) ui.Print("removed: " + ProjectorLine(s.state.env, r));
            }
            // A projector the check dropped is lost, as when a search no longer finds it.
            report.Publish(s.live.SearchEnded(s.state));
            const ProjectorTable& t = s.state.projectors;
            for (int address : applied.stateChanged) {
                for (int i = 0; i < t.connectedCount; ++i) {
                    const ProjectorRecord& r = t.records[static_cast<size_t>(i)];
                    if (r.address != address) continue;
                    if (report.Events()) {
                        report.Publish(s.live.Changed(r));
                    } else {
                        ui.Print("changed: " + ProjectorLine(s.state.env, r));
                    }
                }
            }
            if (once) done = true;
        };
        // Unattended: a lost line is reopened every few seconds, quietly, and the check
        // carries on once it is back.
        bool lost = false;
        hooks.lineLost = [&] {
            lost = true;
            report.Publish(s.live.LineChanged(false, LineLostText(s.state.link), s.state));
            if (once) {
                done = true;
                return;
            }
            report.Say("message", ReopenText());
            KeepReopening(queue, kReopenTimer, s.state.env, s.state.link, kOwnerTool, false, [&] {
                if (report.Events()) {
                    report.Publish(s.live.LineChanged(true, BackText(s.state.link), s.state));
                } else {
                    report.Say("message", BackText(s.state.link));
                }
                checkPtr->ArmCheckTimer();
            });
        };
        BackgroundCheck check(s.state, queue, hooks);
        checkPtr = &check;
        if (interval) check.SetIntervalOverride(static_cast<uint32_t>(interval) * 1000);
        // The lines of the evaluation pass are for the window's tip; the log has its own.
        check.SetEvaluate(false);
        ui.echoCheck = !report.Events();
        if (!interrupted() && check.Start()) {
            watched = true;
            queue.RunUntil(UINT64_MAX, [&] { return done || interrupted(); });
        } else if (!interrupted()) {
            report.Say("error", "no projector to watch");
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
