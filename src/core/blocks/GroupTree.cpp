#include "blocks/GroupTree.h"

#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr int kErrorGroupFile = 24;
constexpr int kErrorSaveFile = 25;
constexpr int kWarningNoneSelected = 28;
constexpr int kWarningNoGroupChosen = 31;

bool Report(ProgramState& s, const GroupResult& r) {
    if (!r.ok) ReportGroupResult(s.env, r);
    return r.ok;
}

bool Commit(ProgramState& s, const GroupResult& r) { return Report(s, r) && SaveWorkGroups(s); }

}  // namespace

void ReportGroupResult(const Env& env, const GroupResult& r) {
    if (r.ok) return;
    if (r.error) {
        ShowError(env, r.error, r.text);
    } else if (r.warning) {
        ShowWarning(env, r.warning, r.text);
    } else if (env.ui) {
        env.ui->ShowBox("Group management", r.text, BoxIcon::Exclamation);
    }
}

void LoadWorkGroups(ProgramState& s) {
    Grouping g;
    const GroupsLoad load = LoadGroupsFile(kGroupsFileName, &g);
    s.groupsFileRefused = false;
    if (load.ok) {
        s.groups = std::move(g);
        return;
    }
    s.groups = Grouping{};
    if (load.missing) return;
    s.groupsFileRefused = true;
    ShowError(s.env, kErrorGroupFile, load.reason);
}

bool SaveWorkGroups(ProgramState& s) {
    SysError error;
    if (s.groupsFileRefused) {
        if (MoveFileAside(kGroupsFileName, ".refused", &error).empty()) {
            ShowError(s.env, kErrorSaveFile, std::string(kGroupsFileName) + ": " + error.text);
            return false;
        }
        s.groupsFileRefused = false;
    }
    if (SaveGroupsFile(kGroupsFileName, s.groups, &error)) return true;
    ShowError(s.env, kErrorSaveFile, std::string(kGroupsFileName) + ": " + error.text);
    return false;
}

int UserGroupOfTreeGroup(const ProgramState& s, int treeGroup) {
    const int i = treeGroup - 1;
    return i >= 0 && i < static_cast<int>(s.groups.groups.size()) ? i : -1;
}

std::string TreeGroupName(const ProgramState& s, int treeGroup) {
    const int i = UserGroupOfTreeGroup(s, treeGroup);
    return i < 0 ? std::string() : s.groups.groups[static_cast<size_t>(i)].name;
}

std::string NewGroup(ProgramState& s, const std::string& name) {
    const GroupResult r = AddGroup(s.groups, name);
    if (!r.ok) return r.text;
    SaveWorkGroups(s);
    return {};
}

bool RenameTreeGroup(ProgramState& s, int treeGroup, const std::string& name) {
    const int i = UserGroupOfTreeGroup(s, treeGroup);
    if (i < 0) return false;
    const std::string old = s.groups.groups[static_cast<size_t>(i)].name;
    if (!Commit(s, RenameGroup(s.groups, old, name))) return false;
    ProjectorSelection& sel = s.direct.selection;
    if (sel.kind == SelectionKind::Group && sel.group == old) sel.group = s.groups.groups[static_cast<size_t>(i)].name;
    return true;
}

bool DeleteTreeGroup(ProgramState& s, int treeGroup) {
    if (treeGroup < 0) return Report(s, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
    if (treeGroup == 0) return Report(s, MainGroupDeleteRefused());
    const std::string name = TreeGroupName(s, treeGroup);
    if (name.empty()) return Report(s, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
    if (!s.env.ui || !s.env.ui->AskYesNo("Confirmation", "Delete group " + name + " ?")) return false;
    return Commit(s, DeleteGroup(s.groups, name));
}

bool AddToTreeGroup(ProgramState& s, int treeGroup, const std::vector<uint8_t>& addresses) {
    if (treeGroup < 0) return Report(s, GroupResult::Warning(kWarningNoGroupChosen, "No group chosen"));
    if (treeGroup == 0) return Report(s, MainGroupAddRefused());
    return Commit(s, AddMembers(s.groups, TreeGroupName(s, treeGroup), addresses));
}

bool RemoveFromTreeGroup(ProgramState& s, int treeGroup, uint8_t address) {
    if (treeGroup == 0) return Report(s, MainGroupRemoveRefused());
    if (treeGroup < 0) return Report(s, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
    return Commit(s, RemoveMembers(s.groups, TreeGroupName(s, treeGroup), {address}));
}

bool SaveGroupingAs(ProgramState& s, const std::string& path) {
    SysError error;
    if (SaveGroupsFile(path, s.groups, &error)) return true;
    ShowError(s.env, kErrorSaveFile, path + ": " + error.text);
    return false;
}

bool LoadGroupingFrom(ProgramState& s, const std::string& path) {
    Grouping g;
    const GroupsLoad load = LoadGroupsFile(path, &g);
    if (!load.ok) {
        ShowError(s.env, kErrorGroupFile, load.reason);
        return false;
    }
    s.groups = std::move(g);
    return SaveWorkGroups(s);
}

std::vector<std::pair<uint8_t, std::string>> AddProjectorChoices(const ProgramState& s) {
    std::vector<std::pair<uint8_t, std::string>> out;
    for (int i = 0; i < s.projectors.connectedCount && i < kProjectorTableSize; ++i) {
        const ProjectorRecord& r = s.projectors.records[static_cast<size_t>(i)];
        out.emplace_back(r.address, ProjectorNodeText(s.env, r));
    }
    return out;
}

std::vector<ProjectorSelection> SelectionChoices(const ProgramState& s) {
    std::vector<ProjectorSelection> out{{SelectionKind::Default, ""}, {SelectionKind::AllConnected, ""}};
    for (const UserGroup& g : s.groups.groups) out.push_back({SelectionKind::Group, g.name});
    return out;
}

std::string SelectionStripText(const ProgramState& s) { return SelectionText(s.direct.selection); }

}  // namespace ombrix
