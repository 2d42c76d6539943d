#include "blocks/Groups.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "data/JsonInput.h"
#include "platform/FileLock.h"
#include "platform/Files.h"

namespace ombrix {
namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kMaxGroupsFileSize = 1024 * 1024;

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool ValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        if (c < 0x80) n = 0;
        else if (c >= 0xC2 && c <= 0xDF) n = 1;
        else if (c >= 0xE0 && c <= 0xEF) n = 2;
        else if (c >= 0xF0 && c <= 0xF4) n = 3;
        else return false;
        if (n > s.size() - i - 1) return false;
        for (size_t k = 1; k <= n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n + 1;
    }
    return true;
}

bool Contains(const std::vector<uint8_t>& v, uint8_t a) { return std::find(v.begin(), v.end(), a) != v.end(); }

std::string Dump(const Json& j, int indent) { return j.dump(indent, ' ', false, Json::error_handler_t::replace); }

// The keys of obj other than the known ones, as object text; empty when there are none.
std::string ExtraKeys(const Json& obj, std::initializer_list<const char*> known) {
    Json extra = Json::object();
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        if (std::none_of(known.begin(), known.end(), [&](const char* k) { return it.key() == k; })) {
            extra[it.key()] = it.value();
        }
    }
    return extra.empty() ? std::string() : Dump(extra, -1);
}

void MergeExtra(Json& obj, const std::string& extra) {
    if (extra.empty()) return;
    const Json more = Json::parse(extra, nullptr, false);
    if (!more.is_object()) return;
    for (auto it = more.begin(); it != more.end(); ++it) {
        if (!obj.contains(it.key())) obj[it.key()] = it.value();
    }
}

bool ParseGroup(const Json& g, size_t index, UserGroup* out, std::string* why) {
    const std::string where = "group " + std::to_string(index + 1);
    if (!g.is_object()) return *why = where + " is not an object", false;
    if (!g.contains("name") || !g["name"].is_string()) return *why = where + " has no name", false;
    out->name = g["name"].get<std::string>();
    const std::string bad = CheckGroupName(out->name);
    if (!bad.empty() || Trimmed(out->name) != out->name) {
        return *why = where + ": " + (bad.empty() ? "the name has surrounding blanks" : bad), false;
    }
    if (!g.contains("members") || !g["members"].is_array()) {
        return *why = "group \"" + out->name + "\" has no members list", false;
    }
    const Json& members = g["members"];
    if (members.size() > kMaxGroupSize) {
        return *why = "group \"" + out->name + "\" has more than " + std::to_string(kMaxGroupSize) + " members",
               false;
    }
    for (const Json& m : members) {
        if (!m.is_number_integer() || m.get<int64_t>() < 1 || m.get<int64_t>() > 255) {
            return *why = "group \"" + out->name + "\" has a member that is not an address 1-255", false;
        }
        const auto a = static_cast<uint8_t>(m.get<int64_t>());
        if (Contains(out->members, a)) {
            return *why = "group \"" + out->name + "\" names projector " + std::to_string(a) + " twice", false;
        }
        out->members.push_back(a);
    }
    out->extra = ExtraKeys(g, {"name", "members"});
    return true;
}

}  // namespace

int FindGroup(const Grouping& g, const std::string& name) {
    for (size_t i = 0; i < g.groups.size(); ++i) {
        if (g.groups[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

std::string CheckGroupName(const std::string& name) {
    const std::string t = Trimmed(name);
    if (t.empty()) return "the group name is empty";
    if (t.size() > kGroupNameMax) return "the group name is longer than " + std::to_string(kGroupNameMax) + " characters";
    for (char c : t) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "the group name holds a control character";
    }
    if (!ValidUtf8(t)) return "the group name is not UTF-8 text";
    return {};
}

GroupResult AddGroup(Grouping& g, const std::string& name) {
    const std::string bad = CheckGroupName(name);
    if (!bad.empty()) return GroupResult::Refused("Unable to add the group: " + bad);
    const std::string t = Trimmed(name);
    if (FindGroup(g, t) >= 0) return GroupResult::Refused("A group named \"" + t + "\" exists already");
    if (g.groups.size() >= kMaxUserGroups) {
        return GroupResult::Refused("Unable to add the group: there are " + std::to_string(kMaxUserGroups) +
                                    " groups already");
    }
    g.groups.push_back(UserGroup{t, {}, {}});
    return GroupResult::Done();
}

GroupResult RenameGroup(Grouping& g, const std::string& oldName, const std::string& newName) {
    const int i = FindGroup(g, oldName);
    if (i < 0) return GroupResult::Warning(32, "There is no group named \"" + oldName + "\"");
    const std::string bad = CheckGroupName(newName);
    if (!bad.empty()) return GroupResult::Refused("Unable to rename the group: " + bad);
    const std::string t = Trimmed(newName);
    if (t == oldName) return GroupResult::Done();
    if (FindGroup(g, t) >= 0) return GroupResult::Refused("A group named \"" + t + "\" exists already");
    g.groups[static_cast<size_t>(i)].name = t;
    return GroupResult::Done();
}

GroupResult DeleteGroup(Grouping& g, const std::string& name) {
    const int i = FindGroup(g, name);
    if (i < 0) return GroupResult::Warning(32, "There is no group named \"" + name + "\"");
    g.groups.erase(g.groups.begin() + i);
    return GroupResult::Done();
}

GroupResult AddMembers(Grouping& g, const std::string& name, const std::vector<uint8_t>& addresses) {
    const int i = FindGroup(g, name);
    if (i < 0) return GroupResult::Warning(31, "There is no group named \"" + name + "\"");
    if (addresses.empty()) return GroupResult::Error(35, "No projector chosen: nothing was added to \"" + name + "\"");
    UserGroup& group = g.groups[static_cast<size_t>(i)];
    std::vector<uint8_t> added;
    for (uint8_t a : addresses) {
        if (a == 0) return GroupResult::Refused("Address 0 is no projector's address");
        if (Contains(group.members, a) || Contains(added, a)) {
            return GroupResult::Error(5, "Projector " + std::to_string(a) + " is in group \"" + name + "\" already");
        }
        added.push_back(a);
    }
    if (group.members.size() + added.size() > kMaxGroupSize) {
        return GroupResult::Refused("Group \"" + name + "\" would hold more than " + std::to_string(kMaxGroupSize) +
                                    " projectors");
    }
    group.members.insert(group.members.end(), added.begin(), added.end());
    return GroupResult::Done();
}

GroupResult RemoveMembers(Grouping& g, const std::string& name, const std::vector<uint8_t>& addresses) {
    const int i = FindGroup(g, name);
    if (i < 0) return GroupResult::Warning(32, "There is no group named \"" + name + "\"");
    if (addresses.empty()) return GroupResult::Error(35, "No projector chosen: nothing was removed from \"" + name + "\"");
    UserGroup& group = g.groups[static_cast<size_t>(i)];
    for (uint8_t a : addresses) {
        if (!Contains(group.members, a)) {
            return GroupResult::Refused("Projector " + std::to_string(a) + " is not in group \"" + name + "\"");
        }
    }
    std::erase_if(group.members, [&](uint8_t a) { return Contains(addresses, a); });
    return GroupResult::Done();
}

GroupResult MainGroupDeleteRefused() { return GroupResult::Warning(26, "The main group cannot be deleted"); }
GroupResult MainGroupRemoveRefused() {
    return GroupResult::Warning(4, "No projector can be moved out of the main group");
}
GroupResult MainGroupAddRefused() {
    return GroupResult::Error(34, "The main group holds the connected projectors; none can be added to it");
}

std::vector<uint8_t> MainGroupMembers(const ProjectorTable& t) {
    std::vector<uint8_t> out;
    const int count = std::clamp(t.connectedCount, 0, kProjectorTableSize);
    for (int i = 0; i < count; ++i) out.push_back(t.records[static_cast<size_t>(i)].address);
    return out;
}

bool ParseGroups(const uint8_t* data, size_t size, Grouping* out, std::string* reason) {
    std::string why;
    auto refuse = [&](const std::string& text) {
        if (reason) *reason = text;
        return false;
    };
    if (size > kMaxGroupsFileSize) return refuse("the file is larger than a grouping file can be");
    Json root;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!ReadJsonText(text, &root, &why)) {
        const std::string repeated = RepeatedKeyText(text);
        return refuse(repeated.empty() ? "it is not JSON text (" + why + ")" : repeated);
    }
    if (!root.is_object()) return refuse("it is not a grouping file (no JSON object)");
    if (!root.contains("version")) return refuse("it is not a grouping file (no version)");
    const Json& version = root["version"];
    if (!version.is_number_integer() || version.get<int64_t>() != kGroupsFileVersion) {
        return refuse("its version " + JsonExcerpt(version) + " is not version 1");
    }
    if (!root.contains("groups") || !root["groups"].is_array()) return refuse("it has no list of groups");
    const Json& groups = root["groups"];
    if (groups.size() > kMaxUserGroups) return refuse("it holds more than " + std::to_string(kMaxUserGroups) + " groups");
    Grouping result;
    for (size_t i = 0; i < groups.size(); ++i) {
        UserGroup g;
        if (!ParseGroup(groups[i], i, &g, &why)) return refuse(why);
        if (FindGroup(result, g.name) >= 0) return refuse("it names group \"" + g.name + "\" twice");
        result.groups.push_back(std::move(g));
    }
    result.extra = ExtraKeys(root, {"version", "groups"});
    *out = std::move(result);
    return true;
}

std::vector<uint8_t> EncodeGroups(const Grouping& grouping) {
    Json root = Json::object();
    root["version"] = kGroupsFileVersion;
    Json groups = Json::array();
    for (const UserGroup& g : grouping.groups) {
        Json j = Json::object();
        j["name"] = g.name;
        Json members = Json::array();
        for (uint8_t a : g.members) members.push_back(a);
        j["members"] = std::move(members);
        MergeExtra(j, g.extra);
        groups.push_back(std::move(j));
    }
    root["groups"] = std::move(groups);
    MergeExtra(root, grouping.extra);
    const std::string text = Dump(root, 2) + "\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

GroupsLoad LoadGroupsFile(const std::string& path, Grouping* out) {
    GroupsLoad load;
    if (!FileExists(path)) {
        load.missing = true;
        load.reason = path + ": no such file";
        return load;
    }
    std::vector<uint8_t> bytes;
    SysError error;
    if (!ReadWholeFile(path, &bytes, &error, kMaxGroupsFileSize + 1)) {
        load.reason = error.text.empty() ? path + ": cannot be read" : error.text;  // names the file
        return load;
    }
    std::string why;
    if (!ParseGroups(bytes.data(), bytes.size(), out, &why)) {
        load.reason = path + ": " + why;
        return load;
    }
    load.ok = true;
    return load;
}

bool SaveGroupsFile(const std::string& path, const Grouping& grouping, SysError* error) {
    return WriteFileAtomic(path, EncodeGroups(grouping), error);
}

GroupsUpdate UpdateGroupsFile(const std::string& path, Clock& clock, bool setAsideDamaged, const Grouping* fallback,
                              const std::function<GroupResult(Grouping&)>& change, Grouping* after) {
    GroupsUpdate u;
    auto end = [&](GroupsUpdateEnd e, std::string reason) {
        u.end = e;
        u.reason = std::move(reason);
        return u;
    };
    FileLock lock;
    std::string why;
    if (!lock.Acquire(path, clock, kFileLockWaitMs, &why)) return end(GroupsUpdateEnd::Busy, why + "; nothing changed");
    Grouping g;
    const GroupsLoad load = LoadGroupsFile(path, &g);
    if (load.missing && fallback) g = *fallback;
    if (!load.ok && !load.missing) {
        if (!setAsideDamaged) return end(GroupsUpdateEnd::FileRefused, "refused " + load.reason + "; nothing changed");
        SysError error;
        u.setAside = MoveFileAside(path, ".refused", &error);
        if (u.setAside.empty()) return end(GroupsUpdateEnd::NotWritten, path + ": " + error.text);
        g = fallback ? *fallback : Grouping{};
    }
    u.result = change(g);
    if (!u.result.ok) return end(GroupsUpdateEnd::Refused, u.result.text);
    SysError error;
    if (!SaveGroupsFile(path, g, &error)) return end(GroupsUpdateEnd::NotWritten, path + ": " + error.text);
    if (after) *after = std::move(g);
    return u;
}

std::string SelectionText(const ProjectorSelection& s) {
    switch (s.kind) {
        case SelectionKind::Default: return "Default";
        case SelectionKind::AllConnected: return "All connected projectors";
        case SelectionKind::Group: return s.group;
    }
    return "Default";
}

std::vector<TargetEntry> BuildGroupTargetList(const ProjectorTable& t, uint8_t currentAddress, const Grouping& g,
                                              const ProjectorSelection& s) {
    std::vector<TargetEntry> out;
    const int count = std::clamp(t.connectedCount, 0, kProjectorTableSize);
    auto find = [&](uint8_t address) -> const ProjectorRecord* {
        for (int i = 0; i < count; ++i) {
            if (t.records[static_cast<size_t>(i)].address == address) return &t.records[static_cast<size_t>(i)];
        }
        return nullptr;
    };
    auto add = [&](const ProjectorRecord& r) {
        out.push_back(TargetEntry{r.address, r.projectorType, r.alphaId, r.standby});
    };
    switch (s.kind) {
        case SelectionKind::Default:
            if (const ProjectorRecord* r = find(currentAddress)) add(*r);
            break;
        case SelectionKind::AllConnected:
            for (int i = 0; i < count; ++i) add(t.records[static_cast<size_t>(i)]);
            break;
        case SelectionKind::Group: {
            const int gi = FindGroup(g, s.group);
            if (gi < 0) break;
            for (uint8_t a : g.groups[static_cast<size_t>(gi)].members) {
                if (const ProjectorRecord* r = find(a)) add(*r);
            }
            break;
        }
    }
    return out;
}

const char* SkipWord(MemberSkip why) {
    switch (why) {
        case MemberSkip::NotConnected: return "not connected";
        case MemberSkip::Standby: return "standby";
        case MemberSkip::NoSound: return "no sound";
        case MemberSkip::OtherType: return "other type";
        case MemberSkip::None: break;
    }
    return "";
}

const char* SkipText(MemberSkip why) {
    switch (why) {
        case MemberSkip::NotConnected: return "not connected";
        case MemberSkip::Standby: return "in standby";
        case MemberSkip::NoSound: return "without sound";
        case MemberSkip::OtherType: return "another type";
        case MemberSkip::None: break;
    }
    return "";
}

std::vector<MemberOutcome> PlanGroupMembers(const ProjectorTable& t, uint8_t currentAddress, const Grouping& g,
                                            const ProjectorSelection& s, bool wakes) {
    std::vector<uint8_t> addresses;
    if (s.kind == SelectionKind::Group) {
        const int gi = FindGroup(g, s.group);
        if (gi >= 0) addresses = g.groups[static_cast<size_t>(gi)].members;
    } else {
        for (const TargetEntry& e : BuildGroupTargetList(t, currentAddress, g, s)) addresses.push_back(e.address);
    }
    const int count = std::clamp(t.connectedCount, 0, kProjectorTableSize);
    std::vector<MemberOutcome> out;
    for (uint8_t a : addresses) {
        MemberOutcome m;
        m.address = a;
        m.skipped = MemberSkip::NotConnected;
        for (int i = 0; i < count; ++i) {
            const ProjectorRecord& r = t.records[static_cast<size_t>(i)];
            if (r.address != a) continue;
            m.skipped = r.standby && !wakes ? MemberSkip::Standby : MemberSkip::None;
            break;
        }
        out.push_back(m);
    }
    return out;
}

std::string MemberOutcomeLine(const MemberOutcome& m) {
    const std::string who = "projector " + std::to_string(m.address);
    if (m.skipped == MemberSkip::OtherType) return who + " left alone: " + SkipText(m.skipped);
    if (m.skipped != MemberSkip::None) return who + " skipped: " + SkipText(m.skipped);
    if (!m.done) return who + " failed: " + (m.detail.empty() ? std::string("no answer") : m.detail);
    return who + " done" + (m.detail.empty() ? std::string() : ": " + m.detail);
}

std::string GroupOutcomeText(const std::vector<MemberOutcome>& members) {
    if (members.empty()) return {};
    size_t done = 0;
    std::string rest;
    for (const MemberOutcome& m : members) {
        if (m.skipped == MemberSkip::None && m.done) {
            ++done;
            continue;
        }
        rest += "; " + MemberOutcomeLine(m);
    }
    return std::to_string(done) + " of " + std::to_string(members.size()) + " done" + rest;
}

bool AllMembersDone(const std::vector<MemberOutcome>& members) {
    return std::all_of(members.begin(), members.end(),
                       [](const MemberOutcome& m) { return m.skipped == MemberSkip::None && m.done; });
}

MemberOutcome* FindMember(std::vector<MemberOutcome>& members, uint8_t address) {
    for (MemberOutcome& m : members)
        if (m.address == address) return &m;
    return nullptr;
}

void NoteMemberResult(std::vector<MemberOutcome>& members, uint8_t address, int result) {
    MemberOutcome* m = FindMember(members, address);
    if (!m) return;
    m->done = result == 3;
    m->detail = result == 3 ? "" : result == 2 ? "refused (NACK)" : result == 1 ? "no valid answer" : "no answer";
}

}  // namespace ombrix
