#include "HistoryCommands.h"

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "BlockCommands.h"
#include "StreamUi.h"
#include "app/Program.h"
#include "blocks/BlockWork.h"
#include "blocks/Groups.h"
#include "data/SettingsFile.h"
#include "discovery/QuickSearch.h"
#include "discovery/Search.h"
#include "history/BlockDiff.h"
#include "history/HistoryJson.h"
#include "history/HistoryStore.h"
#include "history/Snapshots.h"
#include "service/HistoryService.h"

namespace ombrix::cli {
namespace {

using nlohmann::json;

const char kUsage[] =
    "Block history (history.sqlite of the working directory; the server keeps the same):\n"
    "  snapshot ADDR|--group NAME|--all [--note TEXT]\n"
    "                                      reads every block in use (as backup does) and keeps\n"
    "                                      it; a snapshot that finds the projector as its latest\n"
    "                                      snapshot did counts on that one; --all: every\n"
    "                                      projector the search finds\n"
    "  history [ADDR]                      the snapshots, newest first\n"
    "  diff A B                            A and B: a snapshot ID, live:ADDR or a FILE.set;\n"
    "                                      per block and parameter (by its description's\n"
    "                                      name); exit status 3 when they differ\n"
    "  drift [ADDR|--group NAME|--all]     each projector now against its latest complete\n"
    "                                      snapshot by hand or by schedule (without ADDR:\n"
    "                                      every projector in the history); exit status 3\n"
    "                                      when one has drifted\n"
    "  restore-snapshot ID [--block HEADER]... [--address ADDR] [--yes]\n"
    "                                      brings the snapshot's blocks (or those with the\n"
    "                                      headers, e.g. 3f022136) back, after a snapshot of\n"
    "                                      what is there; a block the projector holds is\n"
    "                                      overwritten, one it lacks goes into a free block\n"
    "  history-prune --keep-days N         removes snapshots older than N days, keeping each\n"
    "                                      projector's latest whatever its age\n"
    "  --json with any of them prints one JSON object.\n";

const char* const kCommands[] = {"snapshot", "history", "diff", "drift", "restore-snapshot", "history-prune"};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Run {
    Run(const CliPorts& p, bool j) : ports(p), asJson(j), ui(*p.out, *p.err) {}
    ~Run() {
        if (lineOpen) CloseConnection(state->link, kOwnerTool);
    }

    const CliPorts& ports;
    bool asJson;
    StreamUi ui;
    std::unique_ptr<ProgramState> state;
    HistoryStore store;
    bool lineOpen = false;
    json out = json::object();
    std::string refusal;  // the store found was not usable and was moved aside

    std::ostream& Out() { return *ports.out; }
    int Fail(const std::string& why) {
        *ports.err << "ombrix-cli: " << why << '\n';
        return kExitFailed;
    }
    void Say(const std::string& line) {
        if (!asJson) Out() << line << '\n';
    }
    ProgramState& State() {
        if (!state) {
            state = std::make_unique<ProgramState>(*ports.clock, ui, *ports.libraries, *ports.devices);
            PrepareCliState(*state, ports);
        }
        return *state;
    }
    bool OpenStore() {
        std::string why, refused, movedTo;
        if (!store.Open("", &why, &refused, &movedTo)) {
            Fail(why);
            return false;
        }
        if (!refused.empty()) {
            refusal = std::string(kHistoryFileName) + " was refused (" + refused + "); it was moved to " + movedTo +
                      " and a new history begins";
            *ports.err << "ombrix-cli: " << refusal << '\n';
            out["refused"] = refusal;
        }
        return true;
    }
    bool OpenLine(const LineOptions& line) {
        if (lineOpen) return true;
        State();
        LoadCommSettings(*state);
        lineOpen = cli::OpenLine(state->env, state->link, line, *ports.err);
        return lineOpen;
    }
    int Finish(const std::string& command, int code) {
        if (asJson) {
            json j{{"command", command}, {"exit", code}};
            for (auto it = out.begin(); it != out.end(); ++it) j[it.key()] = it.value();
            Out() << j.dump() << '\n';
        }
        Out().flush();
        return code;
    }
};

// ADDR, --group NAME or --all; false with a usage reason.
struct Targets {
    std::vector<uint8_t> addresses;
    std::vector<uint8_t> standby;  // found by --all's search in standby: not read, said so
    std::string group;
    bool all = false;
    bool given = false;
};

bool TakeTarget(const std::vector<std::string>& args, size_t* i, Targets* t, std::string* why) {
    const std::string& a = args[*i];
    if (a == "--group") {
        if (++*i >= args.size() || args[*i].empty()) return *why = "--group needs a NAME", false;
        t->group = args[*i];
    } else if (a == "--all") {
        t->all = true;
    } else {
        long v = 0;
        if (!ParseNumber(a, 1, 255, &v)) return *why = "ADDR must be 1-255, not " + a, false;
        t->addresses.push_back(static_cast<uint8_t>(v));
    }
    if (t->given) return *why = "name one projector, --group NAME or --all", false;
    t->given = true;
    return true;
}

// The addresses the targets stand for: a group's members from groups.json, or every
// projector the search finds (after the line is open).
bool ResolveTargets(Run& r, Targets* t, const LineOptions& line) {
    if (!t->group.empty()) {
        Grouping g;
        const GroupsLoad load = LoadGroupsFile(kGroupsFileName, &g);
        if (!load.ok && !load.missing) return r.Fail("refused " + load.reason), false;
        const int gi = FindGroup(g, t->group);
        if (gi < 0) return r.Fail("there is no group named \"" + t->group + "\" in groups.json"), false;
        t->addresses = g.groups[static_cast<size_t>(gi)].members;
        if (t->addresses.empty()) return r.Fail("group \"" + t->group + "\" has no members"), false;
    }
    if (t->all) {
        if (!r.OpenLine(line)) return false;
        ProgramState& st = r.State();
        LoadOptions(st);
        if (SearchSkipped(st.options)) return r.Fail("the search mode in options.cfg is \"Skip Search\""), false;
        RunConfiguredSearch(st);
        for (int i = 0; i < st.projectors.connectedCount; ++i) {
            const ProjectorRecord& p = st.projectors.records[static_cast<size_t>(i)];
            (p.standby ? t->standby : t->addresses).push_back(p.address);
        }
        if (t->addresses.empty() && t->standby.empty()) return r.Fail("the search found no projector"), false;
    }
    return true;
}

// A projector of --all or --group that was not read: named with why, in the text and as
// its own entry of the JSON list, so a nightly job never takes the site for kept whole.
void PassedOver(Run& r, json& list, uint8_t address, const std::string& skipped, const std::string& why) {
    const std::string name = "projector " + std::to_string(address);
    r.Say(name + " skipped: " + why);
    list.push_back(json{{"address", address}, {"skipped", skipped}, {"error", name + " skipped: " + why}});
}

void PassOverStandby(Run& r, json& list, const Targets& t) {
    for (uint8_t a : t.standby) PassedOver(r, list, a, "standby", "in standby");
}

// Says (and lists) why a projector was passed over.
void PassOver(Run& r, json& list, uint8_t address, const ProjectorNotOpened& why) {
    if (why.standby) return PassedOver(r, list, address, "standby", "in standby");
    PassedOver(r, list, address, "not read", why.why.empty() ? "its blocks cannot be read" : why.why);
}

// Opens the projector, or says (and lists) why it was passed over.
bool OpenOrPassOver(Run& r, BlockWork& work, uint8_t address, json& list) {
    ProjectorNotOpened why;
    if (work.Open(address, true, &why.why)) return true;
    why.standby = work.InStandby();
    PassOver(r, list, address, why);
    return false;
}

int Snapshot(Run& r, const std::vector<std::string>& args, const LineOptions& line) {
    Targets t;
    std::string note, why;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--note") {
            if (++i >= args.size()) return UsageError(*r.ports.err, "--note needs a TEXT");
            note = args[i];
            if (note.size() > kMaxSnapshotNote) {
                return UsageError(*r.ports.err, "a note has at most " + std::to_string(kMaxSnapshotNote) + " bytes");
            }
        } else if (!TakeTarget(args, &i, &t, &why)) {
            return UsageError(*r.ports.err, "snapshot: " + why);
        }
    }
    if (!t.given) return UsageError(*r.ports.err, "snapshot takes ADDR, --group NAME or --all");
    if (!r.OpenStore() || !r.OpenLine(line) || !ResolveTargets(r, &t, line)) return r.Finish("snapshot", kExitFailed);
    bool allDone = t.standby.empty();
    json list = json::array();
    PassOverStandby(r, list, t);
    // Said as each is known: a long --all run shows its progress.
    const auto each = [&r, &list, &allDone](const SnapshotOutcome& o) {
        if (!o.opened) {
            PassOver(r, list, o.address, o.notOpened);
            allDone = false;
            return;
        }
        const SnapshotTaken& taken = o.taken;
        json entry{{"address", o.address}};
        const json fields = SnapshotTakenJson(taken);
        for (auto it = fields.begin(); it != fields.end(); ++it) entry[it.key()] = it.value();
        list.push_back(entry);
        if (!taken.stored) {
            r.Fail("no snapshot of projector " + std::to_string(o.address) + " was kept: " + taken.failure);
            allDone = false;
            return;
        }
        r.Say(SnapshotTakenText(o.address, taken));
        for (const std::string& l : DiffLines(taken.changes)) r.Say("  " + l);
        allDone = allDone && taken.complete;
    };
    TakeSnapshots(r.State(), r.store, nullptr, t.addresses, SnapshotReason::ByHand, note, each);
    r.out["projectors"] = list;
    return r.Finish("snapshot", allDone ? kExitDone : kExitFailed);
}

std::string Padded(const std::string& s, size_t width) { return s.size() >= width ? s : s + std::string(width - s.size(), ' '); }

int History(Run& r, const std::vector<std::string>& args) {
    std::optional<int> address;
    for (size_t i = 1; i < args.size(); ++i) {
        long v = 0;
        if (address || !ParseNumber(args[i], 1, 255, &v)) return UsageError(*r.ports.err, "history takes [ADDR]");
        address = static_cast<int>(v);
    }
    if (!r.OpenStore()) return r.Finish("history", kExitFailed);
    std::vector<SnapshotInfo> list;
    std::string why;
    json snapshots = json::array();
    size_t listed = 0;
    // A page at a time, each written as it is read: a site's years never sit in memory whole.
    constexpr int kPage = 1000;
    for (int64_t before = 0;; before = list.back().id) {
        if (!r.store.List(address, &list, &why, kPage, before)) return r.Finish("history", r.Fail(why));
        if (!r.asJson && listed == 0 && !list.empty()) {
            r.Say("ID     TAKEN                ADDR  SERIAL      WHY             BLOCKS  STATE");
        }
        listed += list.size();
        for (const SnapshotInfo& s : list) {
            if (r.asJson) {
                snapshots.push_back(SnapshotInfoJson(s));
                continue;
            }
            std::string state = StateKey(s.state);
            if (s.state == SnapshotState::Incomplete && !s.detail.empty()) state += ": " + s.detail;
            if (s.state == SnapshotState::Taking) state = "incomplete: not finished";
            if (s.times > 1) state += ", found so " + std::to_string(s.times) + " times until " + LocalTimeText(s.lastMs);
            std::string line = Padded(std::to_string(s.id), 7) + Padded(LocalTimeText(s.firstMs), 21) +
                               Padded(std::to_string(s.projector.address), 6) + Padded(s.projector.serial, 12) +
                               Padded(ReasonText(s.reason), 16) + Padded(std::to_string(s.blockCount), 8) + state;
            if (!s.note.empty()) line += "  \"" + s.note + "\"";
            r.Say(line);
        }
        if (list.size() < static_cast<size_t>(kPage)) break;
    }
    if (!r.asJson && listed == 0) r.Say("no snapshots");
    r.out["snapshots"] = snapshots;
    // The history asked for is in the file moved aside: an empty list is no answer.
    if (!r.refusal.empty()) r.out["error"] = r.refusal;
    return r.Finish("history", r.refusal.empty() ? kExitDone : kExitFailed);
}

bool IsSnapshotId(const std::string& s) {
    return !s.empty() && s.size() < 19 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsLive(const std::string& s) { return s.rfind("live:", 0) == 0; }

int Diff(Run& r, const std::vector<std::string>& args, const LineOptions& line) {
    if (args.size() != 3) return UsageError(*r.ports.err, "diff takes A B (a snapshot ID, live:ADDR or a FILE.set)");
    const std::string a = args[1], b = args[2];
    const bool fileA = !IsSnapshotId(a) && !IsLive(a), fileB = !IsSnapshotId(b) && !IsLive(b);
    if (fileA && fileB) {
        return UsageError(*r.ports.err, "diff compares a snapshot or live:ADDR with a snapshot, live:ADDR or a FILE.set");
    }
    if ((IsSnapshotId(a) || IsSnapshotId(b)) && !r.OpenStore()) return r.Finish("diff", kExitFailed);
    const DiffOutcome d = DiffSpecs(r.State(), r.store, a, b, true, [&r, &line] { return r.OpenLine(line); });
    const std::string& spec = d.stopSide ? b : a;
    using Stop = DiffOutcome::Stop;
    switch (d.stop) {
        case Stop::None: break;
        case Stop::BadSide:
            UsageError(*r.ports.err, "live: needs ADDR 1-255");
            return r.Finish("diff", kExitFailed);
        case Stop::SnapshotMissing:
        case Stop::StoreFailed: return r.Finish("diff", r.Fail(d.detail));
        case Stop::NotOpened:
            // Without a reason the line's opening or a box has said it.
            if (!d.notOpened.why.empty()) r.Fail(d.notOpened.why);
            return r.Finish("diff", kExitFailed);
        case Stop::NotRead:
            return r.Finish("diff", r.Fail("projector " + spec.substr(5) + " could not be read whole: " + d.detail));
        case Stop::FileRefused: return r.Finish("diff", r.Fail(spec + " is not a settings file: " + d.detail));
        case Stop::FileEmpty:
            return r.Finish("diff", r.Fail(spec + " holds no block for type " +
                                           std::to_string(d.sides[1 - d.stopSide].projector.typeCode)));
    }
    std::string labels[2];
    for (int i : {0, 1}) {
        labels[i] = d.sides[i].label;
        const SnapshotInfo& info = d.snapshots[i];
        if (!info.id) continue;
        labels[i] += " (" + LocalTimeText(info.firstMs) + ")";
        if (info.state != SnapshotState::Complete) labels[i] += ", incomplete";
    }
    const BlockDiff& diff = d.diff;
    r.Say("from " + labels[0] + " to " + labels[1] + ":");
    for (const std::string& l : DiffLines(diff)) r.Say(l);
    if (diff.Empty()) r.Say("no differences");
    r.out = DiffJson(diff);
    r.out["from"] = labels[0];
    r.out["to"] = labels[1];
    r.out["differ"] = !diff.Empty();
    return r.Finish("diff", diff.Empty() ? kExitDone : kExitDifferent);
}

int Drift(Run& r, const std::vector<std::string>& args, const LineOptions& line) {
    Targets t;
    std::string why;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!TakeTarget(args, &i, &t, &why)) return UsageError(*r.ports.err, "drift: " + why);
    }
    if (!r.OpenStore()) return r.Finish("drift", kExitFailed);
    if (!t.given) {
        std::vector<SnapshotInfo> list;
        if (!r.store.List(std::nullopt, &list, &why)) return r.Finish("drift", r.Fail(why));
        std::set<int> seen;
        for (const SnapshotInfo& s : list) {
            if (s.state == SnapshotState::Complete &&
                (s.reason == SnapshotReason::ByHand || s.reason == SnapshotReason::Schedule ||
                 s.reason == SnapshotReason::Restored)) {
                seen.insert(s.projector.address);
            }
        }
        for (int a : seen) t.addresses.push_back(static_cast<uint8_t>(a));
        if (t.addresses.empty()) return r.Finish("drift", r.Fail("the history holds no complete snapshot yet"));
    }
    if (!r.OpenLine(line) || !ResolveTargets(r, &t, line)) return r.Finish("drift", kExitFailed);
    bool failed = !t.standby.empty(), drifted = false;
    json list = json::array();
    PassOverStandby(r, list, t);
    for (uint8_t address : t.addresses) {
        const std::string name = "projector " + std::to_string(address);
        json entry{{"address", address}};
        // Opened first: a projector in standby is said so, with or without a snapshot.
        BlockWork work(r.State());
        if (!OpenOrPassOver(r, work, address, list)) {
            failed = true;
            continue;
        }
        const DriftCheck check = CheckDrift(work, r.store);
        if (!check.compared) {
            r.Fail(check.failure);
            entry["error"] = check.failure;
            list.push_back(entry);
            failed = true;
            continue;
        }
        const BlockDiff& diff = check.diff;
        const std::string since =
            "snapshot " + std::to_string(check.reference.id) + " (" + LocalTimeText(check.reference.lastMs) + ")";
        if (diff.Empty()) {
            r.Say(name + ": no drift since " + since);
        } else {
            drifted = true;
            r.Say(name + ": drift since " + since + ":");
            for (const std::string& l : DiffLines(diff)) r.Say("  " + l);
        }
        entry["snapshot"] = check.reference.id;
        entry["drift"] = !diff.Empty();
        const json d = DiffJson(diff);
        entry["identity"] = d["identity"];
        entry["changes"] = d["changes"];
        list.push_back(entry);
    }
    r.out["projectors"] = list;
    // A projector not read makes the answer incomplete, drift or not.
    return r.Finish("drift", failed ? kExitFailed : drifted ? kExitDifferent : kExitDone);
}

int RestoreSnapshotCommand(Run& r, const std::vector<std::string>& args, const LineOptions& line, bool yes) {
    std::vector<std::array<uint8_t, 4>> only;
    std::optional<uint8_t> address;
    std::string id;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--block") {
            std::array<uint8_t, 4> wire{};
            if (++i >= args.size() || !ParseWireHeader(args[i], &wire)) {
                return UsageError(*r.ports.err, "--block needs a HEADER of four bytes (e.g. 3f022136)");
            }
            only.push_back(wire);
        } else if (args[i] == "--address") {
            long v = 0;
            if (++i >= args.size() || !ParseNumber(args[i], 1, 255, &v)) {
                return UsageError(*r.ports.err, "--address needs ADDR 1-255");
            }
            address = static_cast<uint8_t>(v);
        } else if (id.empty() && IsSnapshotId(args[i])) {
            id = args[i];
        } else {
            return UsageError(*r.ports.err, "restore-snapshot takes ID [--block HEADER]... [--address ADDR] [--yes]");
        }
    }
    if (id.empty()) return UsageError(*r.ports.err, "restore-snapshot needs a snapshot ID");
    if (!r.OpenStore()) return r.Finish("restore-snapshot", kExitFailed);
    r.ui.assumeYes = yes;
    r.ui.askTerminal = !yes && r.ports.stdinIsTerminal;
    RestoreRequest request;
    request.id = std::stoll(id);
    request.only = only;
    request.address = address;
    request.found = [&r, &id, &line](const SnapshotRecord& snap) {
        if (snap.info.state != SnapshotState::Complete) {
            *r.ports.err << "ombrix-cli: snapshot " << id << " is incomplete; only the blocks it holds come back\n";
        }
        return r.OpenLine(line);
    };
    const RestoreOutcome restored = RestoreFromHistory(r.State(), r.store, nullptr, request);
    switch (restored.stop) {
        case RestoreOutcome::Stop::None: break;
        case RestoreOutcome::Stop::SnapshotMissing:
        case RestoreOutcome::Stop::StoreFailed: return r.Finish("restore-snapshot", r.Fail(restored.detail));
        case RestoreOutcome::Stop::Stopped: return r.Finish("restore-snapshot", kExitFailed);
        case RestoreOutcome::Stop::NotOpened:
            if (!restored.notOpened.why.empty()) r.Fail(restored.notOpened.why);
            return r.Finish("restore-snapshot", kExitFailed);
    }
    const SnapshotRestoreOutcome& outcome = restored.restored;
    json blocks = json::array();
    for (const BlockLine& l : outcome.report.lines) {
        r.Say(l.block + ": " + l.text);
        blocks.push_back({{"block", l.block}, {"text", l.text}, {"ok", l.ok}});
    }
    if (!outcome.report.note.empty()) r.Say("before: " + outcome.report.note);
    if (outcome.afterId) {
        r.Say("after: snapshot " + std::to_string(outcome.afterId) + " holds the restored settings (restored from snapshot " +
              id + "); drift compares with it from now on");
    }
    if (!outcome.report.failure.empty()) {
        r.Fail(outcome.report.failure);
        r.out["error"] = outcome.report.failure;
    }
    r.out["blocks"] = blocks;
    r.out["before"] = outcome.beforeId;
    r.out["after"] = outcome.afterId;
    return r.Finish("restore-snapshot", outcome.report.ok ? kExitDone : kExitFailed);
}

int Prune(Run& r, const std::vector<std::string>& args) {
    long days = 0;
    if (args.size() != 3 || args[1] != "--keep-days" || !ParseNumber(args[2], 0, 100000, &days)) {
        return UsageError(*r.ports.err, "history-prune takes --keep-days N");
    }
    if (!r.OpenStore()) return r.Finish("history-prune", kExitFailed);
    int removed = 0, kept = 0;
    std::string why;
    if (!r.store.Prune(NowMs() - days * 86400000LL, &removed, &kept, &why)) return r.Finish("history-prune", r.Fail(why));
    r.Say("history-prune: " + std::to_string(removed) + (removed == 1 ? " snapshot" : " snapshots") + " removed, " +
          std::to_string(kept) + " kept");
    r.out["removed"] = removed;
    r.out["kept"] = kept;
    return r.Finish("history-prune", kExitDone);
}

}  // namespace

const char* HistoryCommandsUsage() { return kUsage; }

int RunHistoryCommand(const std::vector<std::string>& args, const CliPorts& ports, bool json) {
    const CommandLine parsed = ParseCommandLine(args);
    if (parsed.help || !parsed.error.empty() || parsed.command >= args.size()) return -1;
    const std::string command = args[parsed.command];
    if (std::none_of(std::begin(kCommands), std::end(kCommands), [&](const char* c) { return command == c; })) return -1;
    std::vector<std::string> rest(args.begin() + static_cast<long>(parsed.command), args.end());
    bool yes = false;
    if (command == "restore-snapshot") {
        const auto it = std::remove(rest.begin(), rest.end(), std::string("--yes"));
        yes = it != rest.end();
        rest.erase(it, rest.end());
    }
    Run r(ports, json);
    if (command == "snapshot") return Snapshot(r, rest, parsed.line);
    if (command == "history") return History(r, rest);
    if (command == "diff") return Diff(r, rest, parsed.line);
    if (command == "drift") return Drift(r, rest, parsed.line);
    if (command == "restore-snapshot") return RestoreSnapshotCommand(r, rest, parsed.line, yes);
    return Prune(r, rest);
}

}  // namespace ombrix::cli
