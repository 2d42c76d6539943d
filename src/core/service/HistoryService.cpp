#include "service/HistoryService.h"

#include "data/JsonInput.h"

#include <algorithm>
#include <chrono>

#include "blocks/BlockWork.h"
#include "data/SettingsFile.h"
#include "history/BlockDiff.h"
#include "history/HistoryJson.h"
#include "history/Snapshots.h"
#include "platform/Ui.h"

namespace ombrix {

using nlohmann::json;

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Boxes still reach the service's Ui (its log and "box" events); the last one is kept as
// what a reply says when the work failed with a box. Questions get the given answer: a
// request is its own confirmation.
class ReplyUi final : public Ui {
public:
    ReplyUi(ProgramState& state, bool answer) : state_(state), inner_(state.env.ui), answer_(answer) {
        state_.env.ui = this;
    }
    ~ReplyUi() override { state_.env.ui = inner_; }
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override {
        last = caption + ": " + text;
        if (inner_) inner_->ShowBox(caption, text, icon);
    }
    bool AskYesNo(const std::string&, const std::string&) override { return answer_; }

    std::string last;

private:
    ProgramState& state_;
    Ui* inner_;
    bool answer_;
};

HistoryReply Failure(HistoryResult result, const std::string& why) { return {result, json{{"error", why}}}; }

// Opens the projector's block work; false with the reply when it cannot be had.
bool OpenWork(BlockWork& work, const ReplyUi& ui, uint8_t address, bool needEveryBlock, HistoryReply* reply) {
    std::string why;
    if (work.Open(address, needEveryBlock, &why)) return true;
    *reply = Failure(HistoryResult::ProjectorFailed, !why.empty() ? why : !ui.last.empty() ? ui.last : "the projector's blocks cannot be read");
    return false;
}

// One connection per thread, opened on its first use: the file was checked whole at the
// start, so a request costs no open and no check.
HistoryStore* OpenStore(HistoryReply* reply) {
    thread_local HistoryStore store;
    if (store.IsOpen()) return &store;
    std::string why;
    if (!store.Open("", &why, nullptr, nullptr, false)) {
        *reply = Failure(HistoryResult::StoreUnavailable, why);
        return nullptr;
    }
    return &store;
}

void Publish(EventHub& hub, int address, SnapshotReason reason, const SnapshotTaken& taken) {
    if (!taken.stored) return;
    for (ServiceEvent& e : SnapshotEvents(address, reason, SnapshotTakenJson(taken), DiffLines(taken.changes))) {
        hub.Publish(std::move(e));
    }
}

}  // namespace

bool CheckHistoryStore(std::string* why, std::string* said) {
    HistoryStore store;
    std::string refused, movedTo;
    if (!store.Open("", why, &refused, &movedTo)) return false;
    if (!refused.empty()) {
        *said = std::string(kHistoryFileName) + " was refused (" + refused + "); it was moved to " + movedTo +
                " and a new history begins";
    }
    return true;
}

std::vector<ServiceEvent> SnapshotEvents(int address, SnapshotReason reason, const json& taken,
                                         const std::vector<std::string>& lines) {
    std::vector<ServiceEvent> out;
    ServiceEvent s;
    s.kind = "snapshot taken";
    s.address = address;
    for (const char* key : {"snapshot", "complete", "repeated", "blocks", "detail"}) {
        if (taken.contains(key)) s.fields[key] = taken[key];
    }
    s.fields["reason"] = ReasonKey(reason);
    s.fields["drift"] = !lines.empty();
    s.fields["text"] = "snapshot " + std::to_string(taken.value("snapshot", 0)) + " (" + ReasonText(reason) + ")" +
                       (taken.value("complete", false) ? "" : ", incomplete");
    out.push_back(s);
    if (lines.empty()) return out;
    ServiceEvent d;
    d.kind = "drift";
    d.address = address;
    d.fields["snapshot"] = taken.value("snapshot", 0);
    d.fields["previous"] = taken.value("previous", 0);
    d.fields["changes"] = taken.contains("changes") ? taken["changes"] : json::array();
    d.fields["text"] = lines.front() + (lines.size() > 1 ? " (and " + std::to_string(lines.size() - 1) + " more)" : "");
    out.push_back(d);
    return out;
}

HistoryReply ProjectorBlocksReply(ProgramState& state, uint8_t address) {
    ReplyUi ui(state, false);
    BlockWork work(state);
    HistoryReply reply;
    if (!OpenWork(work, ui, address, false, &reply)) return reply;
    const BlockTables& t = state.blocks;
    json blocks = json::array();
    const auto& rows = work.View().projectorList.rows;
    for (int i = 0; i < t.projectorRowCount && static_cast<size_t>(i) < rows.size(); ++i) {
        const ProjectorBlock& b = t.projectorBlocks[static_cast<size_t>(i)];
        const BlockRowTexts& cells = rows[static_cast<size_t>(i)].cells;
        uint8_t wire[4];
        BlockWire(work, b.header, wire);
        blocks.push_back(json{{"block", i + 1},
                              {"header", WireText(wire)},
                              {"source", cells[1]},
                              {"type", cells[2]},
                              {"fh", cells[3]},
                              {"fv", cells[4]},
                              {"config", cells[5]},
                              {"active", b.active != 0},
                              {"free", b.specialKind == 0 && HeaderIsFree(b.header, b.longHeader != 0)},
                              {"special", b.specialKind != 0}});
    }
    return {HistoryResult::Done, json{{"address", address}, {"blocks", blocks}}};
}

HistoryReply BackupReply(ProgramState& state, uint8_t address, std::vector<uint8_t>* file) {
    ReplyUi ui(state, false);
    BlockWork work(state);
    HistoryReply reply;
    if (!OpenWork(work, ui, address, true, &reply)) return reply;
    const BlockReadOutcome read = BackupBlocks(work, OrdinaryRowsInUse(state.blocks));
    if (read.lineLost) return Failure(HistoryResult::ProjectorFailed, "the line was lost; no settings file was made");
    if (read.noContainer || read.read != read.wanted) {
        return Failure(HistoryResult::ProjectorFailed, std::to_string(read.wanted - read.read) + " of " + std::to_string(read.wanted) +
                                " blocks could not be read; no settings file was made");
    }
    if (!SerializeSettings(state.blocks, file)) return Failure(HistoryResult::ProjectorFailed, "no settings file could be made");
    return {HistoryResult::Done, json{{"address", address}, {"blocks", read.read}}};
}

HistoryReply VerifyReply(ProgramState& state, uint8_t address, const std::string& fileBytes) {
    SettingsFileContent file;
    std::string why;
    if (!ParseSettingsFile(reinterpret_cast<const uint8_t*>(fileBytes.data()), fileBytes.size(), &file, &why)) {
        return Failure(HistoryResult::BadRequest, "the body is not a settings file: " + why);
    }
    ReplyUi ui(state, false);
    BlockWork work(state);
    HistoryReply reply;
    if (!OpenWork(work, ui, address, true, &reply)) return reply;
    const BlockReport report = VerifyBlocks(work, file, "the settings file");
    if (report.lines.empty()) return Failure(HistoryResult::ProjectorFailed, !report.failure.empty() ? report.failure : ui.last);
    json blocks = json::array();
    for (const BlockLine& l : report.lines) {
        blocks.push_back(json{{"block", l.block}, {"text", l.text}, {"ok", l.ok}, {"places", l.places}});
    }
    json body{{"address", address}, {"identical", report.ok}, {"blocks", blocks}};
    if (!report.failure.empty()) body["error"] = report.failure;
    return {HistoryResult::Done, body};
}

bool ParseSnapshotBody(const std::string& body, std::string* note, std::string* why) {
    note->clear();
    if (body.find_first_not_of(" \t\r\n") == std::string::npos) return true;
    json j;
    if (!ReadJsonText(body, &j, why)) return *why = "the body is refused: " + *why, false;
    if (!j.is_object()) return *why = "the body must be a JSON object", false;
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (it.key() != "note") return *why = "unknown field \"" + it.key().substr(0, 40) + "\"", false;
        if (!it.value().is_string()) return *why = "note must be a text", false;
        *note = it.value().get<std::string>();
        if (note->size() > kMaxSnapshotNote) {
            return *why = "a note has at most " + std::to_string(kMaxSnapshotNote) + " bytes", false;
        }
    }
    return true;
}

HistoryReply SnapshotReply(ProgramState& state, EventHub& hub, const std::vector<uint8_t>& targets,
                           SnapshotReason reason, const std::string& note) {
    HistoryReply reply;
    HistoryStore* store = OpenStore(&reply);
    if (!store) return reply;
    ReplyUi ui(state, false);
    json results = json::array();
    bool all = true;
    for (uint8_t address : targets) {
        BlockWork work(state);
        HistoryReply failed;
        if (!OpenWork(work, ui, address, true, &failed)) {
            json r{{"address", address}, {"ok", false}, {"error", failed.body["error"]}};
            // As group commands report a member passed over.
            if (work.InStandby()) r["skipped"] = "standby";
            results.push_back(r);
            all = false;
            continue;
        }
        const SnapshotTaken taken = TakeSnapshot(work, *store, reason, note, NowMs());
        json r = SnapshotTakenJson(taken);
        r["address"] = address;
        r["ok"] = taken.stored && taken.complete;
        if (taken.stored && !taken.complete) r["error"] = taken.detail;
        results.push_back(r);
        all = all && taken.stored && taken.complete;
        Publish(hub, address, reason, taken);
    }
    return {all ? HistoryResult::Done : HistoryResult::ProjectorFailed, json{{"results", results}}};
}

HistoryReply HistoryListReply(std::optional<int> address, int limit, int64_t beforeId) {
    HistoryReply reply;
    HistoryStore* store = OpenStore(&reply);
    if (!store) return reply;
    limit = std::clamp(limit, 1, kHistoryPageMax);
    std::vector<SnapshotInfo> list;
    std::string why;
    // One more than the page: whether another follows.
    if (!store->List(address, &list, &why, limit + 1, beforeId)) return Failure(HistoryResult::StoreUnavailable, why);
    const bool more = list.size() > static_cast<size_t>(limit);
    if (more) list.resize(static_cast<size_t>(limit));
    json snapshots = json::array();
    for (const SnapshotInfo& i : list) snapshots.push_back(SnapshotInfoJson(i));
    json body{{"snapshots", std::move(snapshots)}};
    if (more) body["next"] = list.back().id;
    return {HistoryResult::Done, std::move(body)};
}

HistoryReply HistoryEntryReply(int64_t id) {
    HistoryReply reply;
    HistoryStore* store = OpenStore(&reply);
    if (!store) return reply;
    SnapshotRecord record;
    std::string why;
    bool missing = false;
    if (!store->Get(id, &record, &why, &missing)) {
        return Failure(missing ? HistoryResult::NotFound : HistoryResult::StoreUnavailable, why);
    }
    return {HistoryResult::Done, SnapshotJson(record)};
}

HistoryReply DiffReply(ProgramState& state, const std::string& from, const std::string& to) {
    HistoryReply reply;
    HistoryStore* store = OpenStore(&reply);
    if (!store) return reply;
    ReplyUi ui(state, false);
    BlockSide sides[2];
    BlockWork works[2] = {BlockWork(state), BlockWork(state)};
    const std::string specs[2] = {from, to};
    auto isLive = [](const std::string& spec) { return spec.rfind("live:", 0) == 0; };
    // Snapshots first: the projector a snapshot knew spares the live side a question.
    for (int i : {0, 1}) {
        if (isLive(specs[i])) continue;
        const std::string& spec = specs[i];
        if (spec.empty() || spec.size() > 18 || spec.find_first_not_of("0123456789") != std::string::npos) {
            return Failure(HistoryResult::BadRequest, "from and to take a snapshot id or live:ADDR");
        }
        SnapshotRecord record;
        std::string why;
        bool missing = false;
        if (!store->Get(std::stoll(spec), &record, &why, &missing)) {
            return Failure(missing ? HistoryResult::NotFound : HistoryResult::StoreUnavailable, why);
        }
        sides[i].projector = record.info.projector;
        sides[i].blocks = record.blocks;
        sides[i].label = "snapshot " + spec;
    }
    for (int i : {0, 1}) {
        if (!isLive(specs[i])) continue;
        const std::string a = specs[i].substr(5);
        const long address =
            !a.empty() && a.size() <= 3 && a.find_first_not_of("0123456789") == std::string::npos ? std::stol(a) : 0;
        if (address < 1 || address > 255) return Failure(HistoryResult::BadRequest, "live: needs an address 1-255");
        if (!OpenWork(works[i], ui, static_cast<uint8_t>(address), true, &reply)) return reply;
        const BlockSide& other = sides[1 - i];
        sides[i].projector = ReadProjectorIdentity(works[i], other.label.empty() ? nullptr : &other.projector);
        sides[i].label = "projector " + a + " now";
        std::string detail;
        if (!ReadBlockSide(works[i], &sides[i], &detail)) return Failure(HistoryResult::ProjectorFailed, "projector " + a + ": " + detail);
    }
    Description description;
    const bool named = LoadSideDescription(state, sides[1].projector, &description);
    const BlockDiff diff = DiffBlocks(sides[0], sides[1], named ? &description : nullptr);
    json body = DiffJson(diff);
    body["from"] = sides[0].label;
    body["to"] = sides[1].label;
    body["differ"] = !diff.Empty();
    body["lines"] = DiffLines(diff);
    return {HistoryResult::Done, body};
}

HistoryReply RestoreReply(ProgramState& state, EventHub& hub, int64_t id, const std::string& body) {
    std::vector<std::array<uint8_t, 4>> only;
    std::optional<uint8_t> address;
    if (body.find_first_not_of(" \t\r\n") != std::string::npos) {
        json j;
        if (std::string why; !ReadJsonText(body, &j, &why)) {
            return Failure(HistoryResult::BadRequest, "the body is refused: " + why);
        }
        if (!j.is_object()) return Failure(HistoryResult::BadRequest, "the body must be a JSON object");
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (it.key() == "blocks" && it.value().is_array()) {
                for (const json& h : it.value()) {
                    std::array<uint8_t, 4> wire{};
                    if (!h.is_string() || !ParseWireHeader(h.get<std::string>(), &wire)) {
                        return Failure(HistoryResult::BadRequest, "blocks holds headers of four bytes, such as \"3f 02 21 36\"");
                    }
                    only.push_back(wire);
                }
            } else if (it.key() == "address" && it.value().is_number_integer() && it.value().get<int>() >= 1 &&
                       it.value().get<int>() <= 255) {
                address = static_cast<uint8_t>(it.value().get<int>());
            } else {
                return Failure(HistoryResult::BadRequest, "the body takes \"blocks\" (headers) and \"address\" (1-255), not \"" +
                                        it.key().substr(0, 40) + "\" as given");
            }
        }
    }
    HistoryReply reply;
    HistoryStore* store = OpenStore(&reply);
    if (!store) return reply;
    SnapshotRecord snapshot;
    std::string why;
    bool missing = false;
    if (!store->Get(id, &snapshot, &why, &missing)) {
        return Failure(missing ? HistoryResult::NotFound : HistoryResult::StoreUnavailable, why);
    }
    const uint8_t target = address.value_or(static_cast<uint8_t>(snapshot.info.projector.address));
    ReplyUi ui(state, true);
    BlockWork work(state);
    if (!OpenWork(work, ui, target, true, &reply)) return reply;
    const SnapshotRestoreOutcome outcome =
        RestoreSnapshot(work, *store, snapshot, only, address.has_value(), NowMs(), true);
    Publish(hub, target, SnapshotReason::BeforeRestore, outcome.before);
    Publish(hub, target, SnapshotReason::Restored, outcome.after);
    json blocks = json::array();
    for (const BlockLine& l : outcome.report.lines) blocks.push_back(json{{"block", l.block}, {"text", l.text}, {"ok", l.ok}});
    json out{{"address", target}, {"snapshot", id}, {"ok", outcome.report.ok}, {"blocks", blocks}};
    if (outcome.beforeId) out["before"] = outcome.beforeId;
    if (outcome.afterId) out["after"] = outcome.afterId;
    if (!outcome.report.failure.empty()) out["error"] = outcome.report.failure;
    return {outcome.report.ok  ? HistoryResult::Done
            : outcome.refused ? HistoryResult::Refused
                              : HistoryResult::ProjectorFailed,
            out};
}

}  // namespace ombrix
