#include "service/LiveView.h"

#include <algorithm>

#include "service/ProjectorJson.h"

namespace ombrix {

using nlohmann::json;

namespace {

int TableIndex(const ProjectorTable& t, int address) {
    for (int i = 0; i < t.connectedCount; ++i)
        if (t.records[static_cast<size_t>(i)].address == address) return i;
    return -1;
}

void RemoveFromTable(ProgramState& s, int index) {
    ProjectorTable& t = s.projectors;
    std::move(t.records.begin() + index + 1, t.records.begin() + t.connectedCount, t.records.begin() + index);
    --t.connectedCount;
    const int current = TableIndex(t, s.link.currentAddress);
    t.currentProjectorIndex =
        current >= 0 ? current : std::clamp(t.currentProjectorIndex, 0, std::max(0, t.connectedCount - 1));
}

// In address order, as a search over a range leaves them; nullptr when the table is full.
ProjectorRecord* InsertIntoTable(ProgramState& s, const ProjectorRecord& record) {
    ProjectorTable& t = s.projectors;
    if (t.connectedCount >= kProjectorTableSize) return nullptr;
    int at = 0;
    while (at < t.connectedCount && t.records[static_cast<size_t>(at)].address < record.address) ++at;
    std::move_backward(t.records.begin() + at, t.records.begin() + t.connectedCount,
                       t.records.begin() + t.connectedCount + 1);
    t.records[static_cast<size_t>(at)] = record;
    ++t.connectedCount;
    const int current = TableIndex(t, s.link.currentAddress);
    if (current >= 0) t.currentProjectorIndex = current;
    return &t.records[static_cast<size_t>(at)];
}

void GiveIdentity(ProjectorRecord* r, const KeptIdentity& id) {
    r->alphaId = id.letter;
    r->projectorType = id.type;
    r->softwareVersion = id.version.empty() ? 0xFF : VersionNumber(id.version);
    r->idNumber = id.idNumber;
}

// What makes a change a change of state rather than of details.
json StatePart(const json& j) {
    json part = json::object();
    for (const char* key : {"state", "textOn", "options", "standby", "lost"})
        if (j.is_object() && j.contains(key)) part[key] = j[key];
    return part;
}

ServiceEvent Event(const std::string& kind, int address, const json& projector, const json& extra = json::object()) {
    ServiceEvent e;
    e.kind = kind;
    e.address = address;
    e.fields = extra.is_object() ? extra : json::object();
    e.fields["projector"] = projector;
    return e;
}

// A serial number that did not come this time is kept while it is the same projector.
void TakeIdentity(KeptIdentity* kept, const KeptIdentity& read) {
    const bool same = read.type == kept->type && read.letter == kept->letter;
    const std::string serial = read.serial.empty() && same ? kept->serial : read.serial;
    *kept = read;
    kept->serial = serial;
}

std::string Trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(' ');
    const size_t end = text.find_last_not_of(' ');
    return start == std::string::npos ? std::string() : text.substr(start, end - start + 1);
}

void ReadSerialAndHours(Link& link, uint8_t address, bool fromBackground, KeptIdentity* id,
                        std::optional<long>* runtimeHours) {
    std::string text;
    if (ReadSerialNumber(link, address, &text, fromBackground) == kDone) id->serial = text;
    if (ReadRuntime(link, address, &text, fromBackground) == kDone) *runtimeHours = RuntimeHours(text);
}

}  // namespace

bool ReadKeptIdentity(Link& link, uint8_t address, bool fromBackground, KeptIdentity* identity,
                      std::optional<long>* runtimeHours) {
    std::string letter, version, text;
    uint32_t typeCode = 0;
    if (ReadIdentity(link, address, &letter, &version, &typeCode, fromBackground) != kDone) return false;
    KeptIdentity id;
    id.letter = letter.empty() ? 0 : letter[0];
    id.type = static_cast<int32_t>(typeCode);
    id.version = Trimmed(version);
    id.complete = true;
    if (ReadIdNumber(link, address, &text, fromBackground) == kDone) id.idNumber = IdNumberValue(text);
    ReadSerialAndHours(link, address, fromBackground, &id, runtimeHours);
    *identity = id;
    return true;
}

bool CompleteKeptIdentity(Link& link, const ProjectorRecord& record, const std::string& version,
                          KeptIdentity* identity, std::optional<long>* runtimeHours) {
    if (record.standby || record.projectorType < 0 || version.empty()) return false;
    KeptIdentity id;
    id.letter = record.alphaId;
    id.type = record.projectorType;
    id.version = Trimmed(version);
    id.idNumber = record.idNumber;
    id.complete = true;
    ReadSerialAndHours(link, record.address, false, &id, runtimeHours);
    *identity = id;
    return true;
}

void LiveView::FillIdentity(ProjectorRecord* r) const {
    const KeptIdentity* id = Identity(r->address);
    if (r->projectorType < 0 && id && id->Known()) GiveIdentity(r, *id);
}

void LiveView::Keep(const ProjectorRecord& r) {
    Entry& e = entries_[r.address];
    e.last = r;
    if (r.projectorType < 0) return;
    KeptIdentity& id = e.identity;
    if (id.type != r.projectorType || id.letter != r.alphaId) {
        id.serial.clear();
        id.complete = false;
    }
    id.letter = r.alphaId;
    id.type = r.projectorType;
    id.idNumber = r.idNumber;
    // The text is kept only while it says the same as the record's number.
    if (id.version.empty() || VersionNumber(id.version) != r.softwareVersion) {
        id.version = r.softwareVersion == 0xFF ? std::string() : std::to_string(r.softwareVersion);
        id.complete = false;
    }
}

const KeptIdentity* LiveView::Identity(int address) const {
    const auto it = entries_.find(address);
    return it == entries_.end() ? nullptr : &it->second.identity;
}

bool LiveView::Lost(int address) const {
    const auto it = entries_.find(address);
    return it != entries_.end() && it->second.lost;
}

std::vector<uint8_t> LiveView::LostAddresses() const {
    std::vector<uint8_t> out;
    for (const auto& [address, e] : entries_)
        if (e.lost) out.push_back(static_cast<uint8_t>(address));
    return out;
}

json LiveView::Json(const ProjectorRecord& record) const {
    ProjectorRecord r = record;
    FillIdentity(&r);
    const auto it = entries_.find(r.address);
    const Entry* e = it == entries_.end() ? nullptr : &it->second;
    ProjectorExtras extras;
    if (e) {
        extras.runtimeHours = e->runtimeHours;
        extras.serial = e->identity.serial;
    }
    json j = ProjectorStateJson(env_, r, groups_ ? groups_(r.address) : std::vector<std::string>{}, &extras);
    if (e && !e->identity.version.empty() && VersionNumber(e->identity.version) == r.softwareVersion)
        j["version"] = e->identity.version;
    j["standby"] = r.standby != 0;
    j["lost"] = e && e->lost;
    if (!lineUp_) {
        j["state"] = kUnknownStateText;
    } else if (e && e->lost) {
        j["state"] = kLostStateText;
    }
    return j;
}

std::optional<ServiceEvent> LiveView::Publishing(int address, const json& state, const std::string& kind) {
    Entry& e = entries_[address];
    const json before = e.published;
    e.published = state;
    if (!kind.empty()) return Event(kind, address, state);
    if (before == state) return std::nullopt;
    return Event(StatePart(before) != StatePart(state) ? "state change" : "details", address, state);
}

ServiceEvent LiveView::Found(ProjectorRecord* record, const std::optional<KeptIdentity>& identity,
                             std::optional<long> runtimeHours) {
    Entry& e = entries_[record->address];
    if (identity) {
        TakeIdentity(&e.identity, *identity);
        GiveIdentity(record, e.identity);
    } else {
        FillIdentity(record);
    }
    if (runtimeHours) e.runtimeHours = runtimeHours;
    e.lost = false;
    e.last = *record;
    return *Publishing(record->address, Json(*record), "found");
}

std::vector<ServiceEvent> LiveView::SearchEnded(const ProgramState& s) {
    std::vector<ServiceEvent> out;
    for (auto& [address, e] : entries_) {
        if (e.lost || e.published.is_null() || TableIndex(s.projectors, address) >= 0) continue;
        e.lost = true;
        out.push_back(*Publishing(address, Json(e.last), "lost"));
    }
    return out;
}

std::vector<ServiceEvent> LiveView::Apply(ProgramState& s, const LiveReading& reading, bool* dropped) {
    const int address = reading.address;
    const int index = TableIndex(s.projectors, address);
    const bool stale = reading.generation != generations_.Current(reading.address);
    if (dropped) *dropped = stale;
    if (stale || !lineUp_) return {};
    if (index >= 0) {
        ProjectorRecord& r = s.projectors.records[static_cast<size_t>(index)];
        if (!reading.answered) {
            Entry& e = entries_[address];
            e.last = r;
            e.lost = true;
            RemoveFromTable(s, index);
            return {*Publishing(address, Json(e.last), "lost")};
        }
        CopyStatusFlags(reading.flags, &r);
        if (reading.identity) {
            TakeIdentity(&entries_[address].identity, *reading.identity);
            GiveIdentity(&r, entries_[address].identity);
        }
        if (reading.runtimeHours) entries_[address].runtimeHours = reading.runtimeHours;
        return Changed(r);
    }
    if (!Lost(address) || !reading.answered) return {};
    ProjectorRecord r = entries_[address].last;
    r.address = reading.address;
    CopyStatusFlags(reading.flags, &r);
    ProjectorRecord* placed = InsertIntoTable(s, r);
    if (!placed) return {};
    return {Found(placed, reading.identity, reading.runtimeHours)};
}

std::vector<ServiceEvent> LiveView::Changed(const ProjectorRecord& record, const std::string& headKind,
                                            const json& extra) {
    Keep(record);
    const json state = Json(record);
    std::vector<ServiceEvent> out;
    if (!headKind.empty()) out.push_back(Event(headKind, record.address, state, extra));
    if (auto e = Publishing(record.address, state)) out.push_back(*e);
    return out;
}

std::vector<ServiceEvent> LiveView::LineChanged(bool up, const std::string& text, const ProgramState& s) {
    lineUp_ = up;
    ServiceEvent line;
    line.kind = up ? "line back" : "line lost";
    line.fields["text"] = text;
    std::vector<ServiceEvent> out{line};
    for (auto& [address, e] : entries_) {
        if (e.published.is_null()) continue;
        const int index = TableIndex(s.projectors, address);
        // Once the line is back a connected projector stays unknown until it is read;
        // a lost one is lost again at once.
        if (up && !e.lost) continue;
        const ProjectorRecord& r = index >= 0 ? s.projectors.records[static_cast<size_t>(index)] : e.last;
        if (auto ev = Publishing(address, Json(r))) out.push_back(*ev);
    }
    return out;
}

}  // namespace ombrix
