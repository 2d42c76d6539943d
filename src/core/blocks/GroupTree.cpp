#include "blocks/GroupTree.h"

#include "blocks/BlockOperations.h"
#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr int kErrorGroupFile = 24;
constexpr int kErrorSaveFile = 25;
constexpr int kWarningNoneSelected = 28;
constexpr int kWarningNoGroupChosen = 31;
constexpr const char* kMainGroupKeepsItsName =
    "The main group cannot be renamed: it is every connected projector, under its own name.";

bool Report(ProgramState& s, const GroupResult& r) {
    if (!r.ok) ReportGroupResult(s.env, r);
    return r.ok;
}

}  // namespace

void ReportGroupResult(const Env& env, const GroupResult& r) {
    if (r.ok) return;
    if (r.error) {
        ShowError(env, r.error, r.text);
    } else if (r.warning) {
        // The warnings' own texts say it all; an error gets the particulars (which projector).
        ShowWarning(env, r.warning);
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

namespace {

// The file's troubles always get their box; a broken rule only when asked to.
bool ApplyToWorkGroups(ProgramState& s, const std::function<GroupResult(Grouping&)>& change, bool reportRule,
                       GroupResult* rule) {
    static SteadyClock steady;
    Clock& clock = s.env.clock ? *s.env.clock : steady;
    Grouping after;
    const GroupsUpdate u = UpdateGroupsFile(kGroupsFileName, clock, true, &s.groups, change, &after);
    if (!u.setAside.empty()) s.groupsFileRefused = false;
    switch (u.end) {
        case GroupsUpdateEnd::Done:
            s.groupsFileRefused = false;
            s.groups = std::move(after);
            return true;
        case GroupsUpdateEnd::Refused:
            if (rule) *rule = u.result;
            return reportRule ? Report(s, u.result) : false;
        case GroupsUpdateEnd::FileRefused:
        case GroupsUpdateEnd::Busy:
        case GroupsUpdateEnd::NotWritten: break;
    }
    ShowError(s.env, kErrorSaveFile, u.reason);
    return false;
}

}  // namespace

bool ChangeWorkGroups(ProgramState& s, const std::function<GroupResult(Grouping&)>& change) {
    return ApplyToWorkGroups(s, change, true, nullptr);
}

bool SaveWorkGroups(ProgramState& s) {
    const Grouping mine = s.groups;
    return ChangeWorkGroups(s, [&](Grouping& g) {
        g = mine;
        return GroupResult::Done();
    });
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
    // A refused name stays in the dialog with its reason.
    GroupResult rule;
    ApplyToWorkGroups(s, [&](Grouping& g) { return AddGroup(g, name); }, false, &rule);
    return rule.ok ? std::string() : rule.text;
}

bool RenameTreeGroup(ProgramState& s, int treeGroup, const std::string& name) {
    // Its name is rebuilt with its members at every fill: a new one would not last.
    if (treeGroup == 0) return Report(s, GroupResult::Refused(kMainGroupKeepsItsName));
    const int i = UserGroupOfTreeGroup(s, treeGroup);
    if (i < 0) return Report(s, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
    const std::string old = s.groups.groups[static_cast<size_t>(i)].name;
    std::string renamed;
    const bool done = ChangeWorkGroups(s, [&](Grouping& g) {
        const int at = FindGroup(g, old);
        GroupResult r = RenameGroup(g, old, name);
        if (r.ok && at >= 0) renamed = g.groups[static_cast<size_t>(at)].name;
        return r;
    });
    if (!done) return false;
    ProjectorSelection& sel = s.direct.selection;
    if (sel.kind == SelectionKind::Group && sel.group == old) sel.group = renamed;
    return true;
}

bool DeleteTreeGroup(ProgramState& s, int treeGroup) {
    if (treeGroup < 0) return Report(s, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
    if (treeGroup == 0) return Report(s, MainGroupDeleteRefused());
    const std::string name = TreeGroupName(s, treeGroup);
    if (name.empty()) return Report(s, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
    if (!s.env.ui || !s.env.ui->AskYesNo("Confirmation", "Delete group " + name + " ?")) return false;
    return ChangeWorkGroups(s, [&](Grouping& g) { return DeleteGroup(g, name); });
}

bool AddToTreeGroup(ProgramState& s, int treeGroup, const std::vector<uint8_t>& addresses) {
    if (treeGroup < 0) return Report(s, GroupResult::Warning(kWarningNoGroupChosen, "No group chosen"));
    if (treeGroup == 0) return Report(s, MainGroupAddRefused());
    const std::string name = TreeGroupName(s, treeGroup);
    return ChangeWorkGroups(s, [&](Grouping& g) { return AddMembers(g, name, addresses); });
}

bool RemoveFromTreeGroup(ProgramState& s, int treeGroup, uint8_t address) {
    if (treeGroup == 0) return Report(s, MainGroupRemoveRefused());
    if (treeGroup < 0) return Report(s, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
    const std::string name = TreeGroupName(s, treeGroup);
    return ChangeWorkGroups(s, [&](Grouping& g) { return RemoveMembers(g, name, {address}); });
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
    return ChangeWorkGroups(s, [&](Grouping& work) {
        work = std::move(g);
        return GroupResult::Done();
    });
}

std::vector<GroupBackupLine> BackupGroupToRam(ProgramState& s, ProjectorSession& session, BlockView& view,
                                              int treeGroup) {
    std::vector<GroupBackupLine> out;
    const int g = UserGroupOfTreeGroup(s, treeGroup);
    const std::vector<uint8_t> members =
        treeGroup == 0 ? MainGroupMembers(s.projectors)
                       : g >= 0 ? s.groups.groups[static_cast<size_t>(g)].members : std::vector<uint8_t>{};
    const uint8_t wasCurrent = s.link.currentAddress;
    Ui* ui = s.env.ui;
    if (ui) ui->ProgressOpen("Back up group to RAM container", "", static_cast<int>(members.size()));
    for (uint8_t a : members) {
        if (ui && ui->ProgressCancelled()) break;
        GroupBackupLine line;
        line.address = a;
        if (ui) ui->ProgressLine(1, "Reading blocks of projector [" + std::to_string(a) + "]");
        const int index = FindProjectorByAddress(s, a);
        if (index < 0 || s.projectors.records[static_cast<size_t>(index)].standby) {
            line.skipped = true;
            line.why = SkipText(index < 0 ? MemberSkip::NotConnected : MemberSkip::Standby);
            out.push_back(line);
            if (ui) ui->ProgressStep();
            continue;
        }
        const NodeSelection sel = SelectViewNode(s, session, &view, NodeData(kNodeOverview, a), true, false);
        if (!sel.showView || session.isDefault || !session.hasDescription) {
            line.skipped = true;
            line.why = "its blocks could not be read";
        } else if (!EnsureRamContainer(s, &view, index)) {
            ShowWarning(s.env, 6);
            line.skipped = true;
            line.why = "no room in the RAM container";
        } else {
            std::vector<int> rows;
            const BlockTables& t = s.blocks;
            for (int i = 0; i < t.projectorRowCount; ++i) {
                const ProjectorBlock& b = t.projectorBlocks[static_cast<size_t>(i)];
                if (b.specialKind == 0 && !HeaderIsFree(b.header, b.longHeader != 0)) rows.push_back(i);
            }
            const AddToRamResult r = AddBlocksToRam(s, view, rows);
            line.added = r.added;
            line.failed = r.failed + r.refused;
        }
        out.push_back(line);
        if (ui) ui->ProgressStep();
    }
    if (ui) ui->ProgressClose();
    if (FindProjectorByAddress(s, wasCurrent) >= 0 && s.link.currentAddress != wasCurrent) {
        SelectViewNode(s, session, &view, NodeData(kNodeOverview, wasCurrent), true, false);
    }
    return out;
}

std::string GroupBackupText(const GroupBackupLine& l) {
    const std::string who = "Projector [" + std::to_string(l.address) + "] : ";
    if (l.skipped) return who + "skipped" + (l.why.empty() ? std::string() : ": " + l.why);
    std::string text = who + std::to_string(l.added) + " blocks added";
    if (l.failed) text += ", " + std::to_string(l.failed) + " not read";
    return text;
}

std::vector<MemberOutcome> CopyRamBlockToGroup(ProgramState& s, ProjectorSession& session, BlockView& view,
                                               const std::string& group, int ramRow) {
    const BlockTables& t = s.blocks;
    if (ramRow < 0 || ramRow >= t.ramRowCount) {
        ShowError(s.env, 6);
        return {};
    }
    const RAMBlock& ram = t.ramBlocks[static_cast<size_t>(ramRow)];
    if (ram.containerTitle) {
        ShowWarning(s.env, 12);
        return {};
    }
    // Written under its own header a special block would land on each member's own.
    if (ram.specialKind != 0) {
        ShowWarning(s.env, 11);
        return {};
    }
    const int g = FindGroup(s.groups, group);
    if (g < 0) {
        ReportGroupResult(s.env, GroupResult::Warning(kWarningNoneSelected, "No group chosen"));
        return {};
    }
    std::vector<MemberOutcome> out =
        PlanGroupMembers(s.projectors, s.link.currentAddress, s.groups, {SelectionKind::Group, group}, false);
    Ui* ui = s.env.ui;
    if (out.empty()) {
        if (ui) ui->ShowBox("Copy to group", "The group " + group + " has no members.", BoxIcon::Information);
        return {};
    }
    // The block as the RAM list shows it: its number, source and type.
    std::string what = "this block of the RAM container";
    if (static_cast<size_t>(ramRow) < view.ramList.rows.size()) {
        const auto& cells = view.ramList.rows[static_cast<size_t>(ramRow)].cells;
        what = "RAM block " + cells[0] + " (source " + cells[1] + ", " + cells[2] + ")";
    }
    if (!ui || !ui->AskYesNo("Confirmation", "Copy " + what + " into a free block of each of the " +
                                                 std::to_string(out.size()) + " members of " + group + " ?")) {
        return {};
    }
    const uint8_t wasCurrent = s.link.currentAddress;
    ui->ProgressOpen("Copy to group", "", static_cast<int>(out.size()));
    bool lost = false;
    for (MemberOutcome& m : out) {
        if (m.skipped != MemberSkip::None) {
            ui->ProgressStep();
            continue;
        }
        if (lost || ui->ProgressCancelled()) {
            m.detail = lost ? "not tried: the line was lost" : "not tried: cancelled";
            continue;
        }
        // A block of one type means nothing to another: the member is left alone, not failed.
        const int member = FindProjectorByAddress(s, m.address);
        if (member >= 0 && s.projectors.records[static_cast<size_t>(member)].projectorType != ram.projectorType) {
            m.skipped = MemberSkip::OtherType;
            ui->ProgressStep();
            continue;
        }
        ui->ProgressLine(1, "Writing to projector [" + std::to_string(m.address) + "]");
        // The member's own blocks are read first: nothing is written over what it holds.
        const NodeSelection sel = SelectViewNode(s, session, &view, NodeData(kNodeOverview, m.address), true, false);
        if (!sel.showView || session.isDefault || !session.hasDescription) {
            m.detail = "its blocks could not be read";
        } else {
            m.done = CopyRamRowToFreeBlock(s, view, ramRow, &m.detail);
        }
        lost = LineLost(s.link) != 0;
        ui->ProgressStep();
    }
    ui->ProgressClose();
    if (FindProjectorByAddress(s, wasCurrent) >= 0 && s.link.currentAddress != wasCurrent) {
        SelectViewNode(s, session, &view, NodeData(kNodeOverview, wasCurrent), true, false);
    }
    return out;
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
