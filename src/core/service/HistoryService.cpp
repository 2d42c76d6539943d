#include "service/HistoryService.h"

#include "data/JsonInput.h"

#include <algorithm>
#include <chrono>
#include <memory>

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

// Boxes still reach the caller's Ui (the service's log and "box" events, the tool's
// terminal); the last one is kept as what a result says when the work failed with a box.
// Questions get the given answer (a request that is its own confirmation), or without one
// go to the caller's Ui.
class ReplyUi final : public Ui {
public:
    ReplyUi(ProgramState& state, std::optional<bool> answer) : state_(state), inner_(state.env.ui), answer_(answer) {
        state_.env.ui = this;
    }
    ~ReplyUi() override { state_.env.ui = inner_; }
    ReplyUi(const ReplyUi&) = delete;
    ReplyUi& operator=(const ReplyUi&) = delete;
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override {
        last = caption + ": " + text;
        if (inner_) inner_->ShowBox(caption, text, icon);
    }
    bool AskYesNo(const std::string& caption, const std::string& text) override {
        if (answer_) return *answer_;
        return inner_ && inner_->AskYesNo(caption, text);
    }

    std::string last;

private:
    ProgramState& state_;
    Ui* inner_;
    std::optional<bool> answer_;
};

HistoryReply Failure(HistoryResult result, const std::string& why) { return {result, json{{"error", why}}}; }

// Opens the projector's block work; false with why not.
bool OpenWork(BlockWork& work, const ReplyUi& ui, uint8_t address, bool needEveryBlock, ProjectorNotOpened* out) {
    out->why.clear();
    if (work.Open(address, needEveryBlock, &out->why)) return true;
    out->box = ui.last;
    out->standby = work.InStandby();
    return false;
}

bool OpenWork(BlockWork& work, const ReplyUi& ui, uint8_t address, bool needEveryBlock, HistoryReply* reply) {
    ProjectorNotOpened n;
    if (OpenWork(work, ui, address, needEveryBlock, &n)) return true;
    *reply = Failure(HistoryResult::ProjectorFailed, NotOpenedText(n));
    return false;
}

HistoryStore* OpenStore(HistoryReply* reply) {
    std::string why;
    HistoryStore* store = ServiceHistoryStore(&why);
    if (!store) *reply = Failure(HistoryResult::StoreUnavailable, why);
    return store;
}

void Publish(EventHub* hub, int address, SnapshotReason reason, const SnapshotTaken& taken) {
    if (!hub || !taken.stored) return;
    for (ServiceEvent& e : SnapshotEvents(address, reason, SnapshotTakenJson(taken), DiffLines(taken.changes))) {
        hub->Publish(std::move(e));
    }
}

bool IsSnapshotSpec(const std::string& spec) {
    return !spec.empty() && spec.size() <= 18 && spec.find_first_not_of("0123456789") == std::string::npos;
}

bool IsLiveSpec(const std::string& spec) { return spec.rfind("live:", 0) == 0; }

HistoryResult ResultOf(const DiffOutcome& d) {
    using Stop = DiffOutcome::Stop;
    switch (d.stop) {
        case Stop::None: return HistoryResult::Done;
        case Stop::BadSide:
        case Stop::FileRefused:
        case Stop::FileEmpty: return HistoryResult::BadRequest;
        case Stop::SnapshotMissing: return HistoryResult::NotFound;
        case Stop::StoreFailed: return HistoryResult::StoreUnavailable;
        case Stop::NotOpened:
        case Stop::NotRead: return HistoryResult::ProjectorFailed;
    }
    return HistoryResult::ProjectorFailed;
}

}  // namespace

std::string NotOpenedText(const ProjectorNotOpened& n) {
    return !n.why.empty() ? n.why : !n.box.empty() ? n.box : "the projector's blocks cannot be read";
}

// One connection per thread, opened on its first use: the file was checked whole at the
// start, so a request costs no open and no check.
HistoryStore* ServiceHistoryStore(std::string* why) {
    thread_local HistoryStore store;
    if (store.IsOpen()) return &store;
    if (!store.Open("", why, nullptr, nullptr, false)) return nullptr;
    return &store;
}

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

std::vector<SnapshotOutcome> TakeSnapshots(ProgramState& state, HistoryStore& store, EventHub* hub,
                                           const std::vector<uint8_t>& targets, SnapshotReason reason,
                                           const std::string& note,
                                           const std::function<void(const SnapshotOutcome&)>& each) {
    ReplyUi ui(state, false);
    std::vector<SnapshotOutcome> out;
    for (uint8_t address : targets) {
        SnapshotOutcome o;
        o.address = address;
        BlockWork work(state);
        o.opened = OpenWork(work, ui, address, true, &o.notOpened);
        if (o.opened) {
            o.taken = TakeSnapshot(work, store, reason, note, NowMs());
            Publish(hub, address, reason, o.taken);
        }
        if (each) each(o);
        out.push_back(std::move(o));
    }
    return out;
}

HistoryReply SnapshotReply(ProgramState& state, EventHub& hub, const std::vector<uint8_t>& targets,
                           SnapshotReason reason, const std::string& note) {
    HistoryReply reply;
    HistoryStore* store = OpenStore(&reply);
    if (!store) return reply;
    json results = json::array();
    bool all = true;
    for (const SnapshotOutcome& o : TakeSnapshots(state, *store, &hub, targets, reason, note)) {
        if (!o.opened) {
            json r{{"address", o.address}, {"ok", false}, {"error", NotOpenedText(o.notOpened)}};
            // As group commands report a member passed over.
            if (o.notOpened.standby) r["skipped"] = "standby";
            results.push_back(r);
            all = false;
            continue;
        }
        const SnapshotTaken& taken = o.taken;
        json r = SnapshotTakenJson(taken);
        r["address"] = o.address;
        r["ok"] = taken.stored && taken.complete;
        if (taken.stored && !taken.complete) r["error"] = taken.detail;
        results.push_back(r);
        all = all && taken.stored && taken.complete;
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

DiffOutcome DiffSpecs(ProgramState& state, HistoryStore& store, const std::string& from, const std::string& to,
                      bool filesAllowed, const std::function<bool()>& lineReady) {
    using Stop = DiffOutcome::Stop;
    DiffOutcome d;
    auto stop = [&d](Stop why, int side, const std::string& detail = {}) {
        d.stop = why;
        d.stopSide = side;
        d.detail = detail;
        return d;
    };
    const std::string specs[2] = {from, to};
    bool resolved[2] = {false, false};
    auto isFile = [&](int i) { return !IsSnapshotSpec(specs[i]) && !IsLiveSpec(specs[i]); };
    // A file is read for the other side's type: two files have none.
    if (filesAllowed && isFile(0) && isFile(1)) return stop(Stop::BadSide, 0);
    // Snapshots first: the projector a snapshot knew spares the live side a question.
    for (int i : {0, 1}) {
        if (IsLiveSpec(specs[i])) continue;
        if (isFile(i)) {
            if (!filesAllowed) return stop(Stop::BadSide, i);
            continue;
        }
        SnapshotRecord record;
        std::string why;
        bool missing = false;
        if (!store.Get(std::stoll(specs[i]), &record, &why, &missing)) {
            return stop(missing ? Stop::SnapshotMissing : Stop::StoreFailed, i, why);
        }
        d.sides[i].projector = record.info.projector;
        d.sides[i].blocks = std::move(record.blocks);
        d.sides[i].label = "snapshot " + specs[i];
        d.snapshots[i] = record.info;
        resolved[i] = true;
    }
    ReplyUi ui(state, false);
    std::unique_ptr<BlockWork> works[2];
    bool lineAsked = false;
    for (int i : {0, 1}) {
        if (!IsLiveSpec(specs[i])) continue;
        const std::string a = specs[i].substr(5);
        const long address =
            !a.empty() && a.size() <= 3 && a.find_first_not_of("0123456789") == std::string::npos ? std::stol(a) : 0;
        if (address < 1 || address > 255) return stop(Stop::BadSide, i);
        if (!lineAsked && lineReady && !lineReady()) return stop(Stop::NotOpened, i);
        lineAsked = true;
        works[i] = std::make_unique<BlockWork>(state);
        if (!OpenWork(*works[i], ui, static_cast<uint8_t>(address), true, &d.notOpened)) return stop(Stop::NotOpened, i);
        const int other = 1 - i;
        d.sides[i].projector = ReadProjectorIdentity(*works[i], resolved[other] ? &d.sides[other].projector : nullptr);
        d.sides[i].label = "projector " + a + " now";
        std::string detail;
        if (!ReadBlockSide(*works[i], &d.sides[i], &detail)) return stop(Stop::NotRead, i, detail);
        resolved[i] = true;
    }
    for (int i : {0, 1}) {
        if (resolved[i]) continue;
        const BlockSide& other = d.sides[1 - i];
        SettingsFileContent file;
        std::string why;
        if (!ReadSettingsFile(specs[i], &file, &why)) return stop(Stop::FileRefused, i, why);
        BlockSide& side = d.sides[i];
        side = FileSide(file.rows, other.projector.typeCode, specs[i]);
        side.projector.address = other.projector.address;
        side.projector.blockLength = other.projector.blockLength;
        for (HistoryBlock& blk : side.blocks) {
            if (!blk.free) blk.body.resize(static_cast<size_t>(std::max(other.projector.blockLength, 0)));
        }
        if (side.blocks.empty()) return stop(Stop::FileEmpty, i);
    }
    Description description;
    const bool named =
        LoadSideDescription(state, d.sides[1].fromFile ? d.sides[0].projector : d.sides[1].projector, &description);
    d.diff = DiffBlocks(d.sides[0], d.sides[1], named ? &description : nullptr);
    return d;
}

HistoryReply DiffReply(ProgramState& state, const std::string& from, const std::string& to) {
    HistoryReply reply;
    HistoryStore* store = OpenStore(&reply);
    if (!store) return reply;
    const DiffOutcome d = DiffSpecs(state, *store, from, to, false);
    using Stop = DiffOutcome::Stop;
    switch (d.stop) {
        case Stop::None: break;
        case Stop::BadSide:
            return Failure(HistoryResult::BadRequest, IsLiveSpec(d.stopSide ? to : from)
                                                          ? "live: needs an address 1-255"
                                                          : "from and to take a snapshot id or live:ADDR");
        case Stop::NotOpened: return Failure(HistoryResult::ProjectorFailed, NotOpenedText(d.notOpened));
        case Stop::NotRead:
            return Failure(HistoryResult::ProjectorFailed,
                           "projector " + (d.stopSide ? to : from).substr(5) + ": " + d.detail);
        default: return Failure(ResultOf(d), d.detail);
    }
    json body = DiffJson(d.diff);
    body["from"] = d.sides[0].label;
    body["to"] = d.sides[1].label;
    body["differ"] = !d.diff.Empty();
    body["lines"] = DiffLines(d.diff);
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
    RestoreRequest request;
    request.id = id;
    request.only = std::move(only);
    request.address = address;
    request.confirmed = true;
    const RestoreOutcome r = RestoreFromHistory(state, *store, &hub, request);
    switch (r.stop) {
        case RestoreOutcome::Stop::None: break;
        case RestoreOutcome::Stop::SnapshotMissing: return Failure(HistoryResult::NotFound, r.detail);
        case RestoreOutcome::Stop::NotOpened: return Failure(HistoryResult::ProjectorFailed, NotOpenedText(r.notOpened));
        case RestoreOutcome::Stop::StoreFailed:
        case RestoreOutcome::Stop::Stopped: return Failure(HistoryResult::StoreUnavailable, r.detail);
    }
    const SnapshotRestoreOutcome& outcome = r.restored;
    json blocks = json::array();
    for (const BlockLine& l : outcome.report.lines) blocks.push_back(json{{"block", l.block}, {"text", l.text}, {"ok", l.ok}});
    json out{{"address", r.target}, {"snapshot", id}, {"ok", outcome.report.ok}, {"blocks", blocks}};
    if (outcome.beforeId) out["before"] = outcome.beforeId;
    if (outcome.afterId) out["after"] = outcome.afterId;
    if (!outcome.report.failure.empty()) out["error"] = outcome.report.failure;
    return {outcome.report.ok  ? HistoryResult::Done
            : outcome.refused ? HistoryResult::Refused
                              : HistoryResult::ProjectorFailed,
            out};
}

RestoreOutcome RestoreFromHistory(ProgramState& state, HistoryStore& store, EventHub* hub,
                                  const RestoreRequest& request) {
    RestoreOutcome r;
    SnapshotRecord snapshot;
    bool missing = false;
    if (!store.Get(request.id, &snapshot, &r.detail, &missing)) {
        r.stop = missing ? RestoreOutcome::Stop::SnapshotMissing : RestoreOutcome::Stop::StoreFailed;
        return r;
    }
    if (request.found && !request.found(snapshot)) {
        r.stop = RestoreOutcome::Stop::Stopped;
        return r;
    }
    r.target = request.address.value_or(static_cast<uint8_t>(snapshot.info.projector.address));
    ReplyUi ui(state, request.confirmed ? std::optional<bool>(true) : std::nullopt);
    BlockWork work(state);
    if (!OpenWork(work, ui, r.target, true, &r.notOpened)) {
        r.stop = RestoreOutcome::Stop::NotOpened;
        return r;
    }
    r.restored = RestoreSnapshot(work, store, snapshot, request.only, request.address.has_value(), NowMs(),
                                 request.confirmed);
    Publish(hub, r.target, SnapshotReason::BeforeRestore, r.restored.before);
    Publish(hub, r.target, SnapshotReason::Restored, r.restored.after);
    return r;
}

}  // namespace ombrix
