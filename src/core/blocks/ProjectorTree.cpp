#include "blocks/ProjectorTree.h"

#include <algorithm>

#include "app/ProgramStrings.h"
#include "blocks/GroupTree.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr size_t Index(int i) { return static_cast<size_t>(i); }

std::string DescriptionDirectory(const ProgramState& s) { return s.startDirectory.empty() ? "." : s.startDirectory; }

const char* ProgramText(int id) {
    const char* text = ProgramString(id);
    return text ? text : "";
}

// A selection of a projector block names its projector by index; the index follows the
// projector's address when the table is compacted, and the selection goes with it.
void FollowProjector(const ProgramState& s, BlockSelection& sel) {
    if (sel.row < 0 || sel.projectorIndex < 0) return;
    const int index = FindProjectorByAddress(s, sel.address);
    if (index < 0) {
        sel = BlockSelection{};
    } else {
        sel.projectorIndex = index;
    }
}

}  // namespace

void ExpandProjector(GroupTable& g, uint8_t address) {
    const std::vector<int> path = FindNode(g, NodeData(kNodeGroupOrProjector, address));
    if (path.size() != 2) return;
    TreeNode& group = g.roots[Index(path[0])];
    group.expanded = true;
    group.children[Index(path[1])].expanded = true;
}

uint32_t StateImage(const ProjectorRecord& r) {
    if (r.operating) return kImageOperating;
    if (r.pause) return kImagePause;
    return kImageStandby;
}

char ModelLinePrefix(bool soundAvailable) { return soundAvailable ? 'A' : 'V'; }

std::string ProjectorNodeText(const Env& env, const ProjectorRecord& r) {
    std::string text = std::string(ProgramText(6)) + std::to_string(r.address) + "] : ";
    if (r.projectorType == -1) return text + "Unknown";
    return text + ModelLinePrefix(r.soundAvailable) +
           ModelText(env, r.projectorType, r.alphaId, static_cast<int>(kMemberLabelSize));
}

int FindProjectorByAddress(const ProgramState& s, int address) {
    for (int i = 0; i < s.projectors.connectedCount && i < kProjectorTableSize; ++i) {
        if (s.projectors.records[Index(i)].address == address) return i;
    }
    return -1;
}

namespace {

TreeNode ProjectorNode(const GroupMember& member) {
    TreeNode node;
    node.text = member.label;
    node.image = member.image;
    node.data = NodeData(kNodeGroupOrProjector, member.address);
    const std::pair<const char*, NodeKind> views[] = {
        {"Info", kNodeInfo}, {"Overview", kNodeOverview}, {"Direct Access", kNodeDirectAccess}, {"History", kNodeHistory}};
    for (const auto& [text, kind] : views) {
        TreeNode view;
        view.text = text;
        // The history is a list of the projector's block lists: the overview's picture.
        view.image = kind == kNodeHistory ? kImageOverview : kImageInfo + (kind - kNodeInfo);
        view.data = NodeData(kind, member.address);
        node.children.push_back(view);
    }
    return node;
}

}  // namespace

void FillProjectorTree(ProgramState& s, GroupTable& g) {
    if (g.mainGroupFlag) {
        g.groups.resize(1);
        ProjectorGroup& main = g.groups[0];
        main.memberCount = std::clamp(s.projectors.connectedCount, 0, kMaxGroupMembers);
        main.shown = 1;
        for (int i = 0; i < main.memberCount; ++i) {
            main.members[Index(i)].address = s.projectors.records[Index(i)].address;
        }
        main.name = ProgramText(5);
    } else {
        g.groups.resize(1);  // the main group as it stands; the user groups are rebuilt below
    }
    // The user groups follow the main group, as the grouping holds them.
    for (const UserGroup& u : s.groups.groups) {
        ProjectorGroup& group = g.groups.emplace_back();
        group.name = u.name;
        group.memberCount = static_cast<int>(std::min<size_t>(u.members.size(), kMaxGroupMembers));
        for (int m = 0; m < group.memberCount; ++m) group.members[Index(m)].address = u.members[Index(m)];
    }
    g.roots.clear();
    for (size_t gi = 0; gi < g.groups.size(); ++gi) {
        ProjectorGroup& group = g.groups[gi];
        TreeNode groupNode;
        groupNode.text = group.name;
        groupNode.image = kImageGroup;
        groupNode.data = NodeData(kNodeGroupOrProjector, 0);
        if (gi == 0) {
            // Members that are no longer connected leave the main group.
            int kept = 0;
            for (int m = 0; m < group.memberCount; ++m) {
                if (FindProjectorByAddress(s, group.members[Index(m)].address) >= 0) {
                    group.members[Index(kept++)] = group.members[Index(m)];
                }
            }
            group.memberCount = kept;
        }
        for (int m = 0; m < group.memberCount; ++m) {
            GroupMember& member = group.members[Index(m)];
            const int index = FindProjectorByAddress(s, member.address);
            if (index < 0) {
                // A user group keeps a projector that is off; it shows greyed, without views.
                member.label = ProgramText(6) + std::to_string(member.address) + "]";
                member.infoText = member.label;
                member.image = kImageStandby;
                TreeNode node;
                node.text = member.label;
                node.image = member.image;
                node.data = NodeData(kNodeGroupOrProjector, member.address);
                node.dimmed = true;
                groupNode.children.push_back(node);
                continue;
            }
            ProjectorRecord& record = s.projectors.records[Index(index)];
            // The icon is the state the record holds now, not the one of the last refresh.
            record.stateImage = StateImage(record);
            member.label = ProjectorNodeText(s.env, record);
            member.infoText = member.label;
            member.image = static_cast<int>(record.stateImage);
            if (gi == 0) {
                record.displayValues[0] = static_cast<uint32_t>(gi);
                record.displayValues[1] = static_cast<uint32_t>(m);
            }
            groupNode.children.push_back(ProjectorNode(member));
        }
        g.roots.push_back(groupNode);
    }
}

TreeRefresh RefreshProjectorTree(ProgramState& s, GroupTable& g, ProjectorSession& session, BlockView* view) {
    TreeRefresh out;
    for (int i = 0; i < s.projectors.connectedCount && i < kProjectorTableSize; ++i) {
        ProjectorRecord& r = s.projectors.records[Index(i)];
        r.stateImage = StateImage(r);
    }
    FillProjectorTree(s, g);
    if (!g.roots.empty()) g.roots[0].expanded = true;
    const int current = FindProjectorByAddress(s, s.link.currentAddress);
    if (current >= 0) {
        s.projectors.currentProjectorIndex = current;
        ExpandProjector(g, s.link.currentAddress);
    } else if (s.projectors.connectedCount > 0) {
        s.link.currentAddress = s.projectors.records[0].address;
        s.projectors.currentProjectorIndex = 0;
        ExpandProjector(g, s.link.currentAddress);
        out.currentChanged = true;
    }
    // Rows read from a projector that is no longer current must not be acted on.
    if (view && (current < 0 || out.currentChanged)) ClearProjectorBlocks(s, *view);
    FollowProjector(s, s.blocks.adjustment);
    FollowProjector(s, s.blocks.reference);
    session.describedIndex = -1;
    if (view) RefreshBlockLists(s, *view);
    return out;
}

std::vector<int> FindNode(const GroupTable& g, uint32_t data) {
    for (size_t r = 0; r < g.roots.size(); ++r) {
        if (g.roots[r].data == data && NodeDataAddress(data) == 0) return {static_cast<int>(r)};
        for (size_t c = 0; c < g.roots[r].children.size(); ++c) {
            const TreeNode& p = g.roots[r].children[c];
            if (p.data == data) return {static_cast<int>(r), static_cast<int>(c)};
            for (size_t v = 0; v < p.children.size(); ++v) {
                if (p.children[v].data == data) return {static_cast<int>(r), static_cast<int>(c), static_cast<int>(v)};
            }
        }
    }
    return {};
}

int FindGroupByNode(const GroupTable& g, const std::vector<int>& path) {
    if (path.empty() || path[0] < 0 || path[0] >= static_cast<int>(g.groups.size())) return -1;
    return path[0];
}

int FindMemberByNode(const GroupTable& g, int group, uint32_t nodeData) {
    if (group < 0 || group >= static_cast<int>(g.groups.size())) return -1;
    const ProjectorGroup& grp = g.groups[Index(group)];
    for (int m = 0; m < grp.memberCount && m < kMaxGroupMembers; ++m) {
        if (grp.members[Index(m)].address == NodeDataAddress(nodeData)) return m;
    }
    return -1;
}

bool CanEditLabel(uint32_t nodeData) { return NodeDataKind(nodeData) == kNodeGroupOrProjector; }

bool EndLabelEdit(ProgramState& s, GroupTable& g, int groupIndex, uint32_t nodeData, const std::string& text) {
    if (!CanEditLabel(nodeData)) return false;
    const std::string label = text.substr(0, kMemberLabelSize);
    const bool groupNode = NodeDataAddress(nodeData) == 0;
    if (groupIndex < 0 || groupIndex >= static_cast<int>(g.groups.size()) ||
        groupIndex >= static_cast<int>(g.roots.size())) {
        ShowError(s.env, groupNode ? 33 : 20);
        return false;
    }
    ProjectorGroup& group = g.groups[Index(groupIndex)];
    TreeNode& root = g.roots[Index(groupIndex)];
    if (groupNode) {
        // A user group's name follows the grouping's rules and is saved; the main group
        // keeps its own.
        if (!RenameTreeGroup(s, groupIndex, text)) return false;
        group.name = TreeGroupName(s, groupIndex);
        root.text = group.name;
        return true;
    }
    const int m = FindMemberByNode(g, groupIndex, nodeData);
    if (m < 0) {
        ShowError(s.env, 23);
        return false;
    }
    group.members[Index(m)].label = label;
    for (TreeNode& node : root.children) {
        if (node.data == nodeData) node.text = label;
    }
    return true;
}

NodeSelection SelectViewNode(ProgramState& s, ProjectorSession& session, BlockView* view, uint32_t nodeData,
                             bool byMouse, bool busy) {
    NodeSelection out;
    const NodeKind kind = NodeDataKind(nodeData);
    if (!byMouse || kind < kNodeInfo || kind > kNodeHistory) return out;
    if (busy) {
        out.refusal = kSettingsShownText;
        return out;
    }
    out.handled = true;
    out.kind = kind;
    const int index = FindProjectorByAddress(s, NodeDataAddress(nodeData));
    if (index < 0) {
        ShowWarning(s.env, 25);
        return out;
    }
    ProjectorRecord& record = s.projectors.records[Index(index)];
    const bool stale = record.operating && (!session.hasDescription || session.isDefault);
    if (index != session.describedIndex || stale) {
        out.projectorChanged = true;
        s.projectors.currentProjectorIndex = index;
        s.link.currentAddress = record.address;
        if (view) ClearProjectorBlocks(s, *view);
        ReleaseDescription(&session.description);
        session = ProjectorSession{};
        const std::string directory = DescriptionDirectory(s);
        const int type = record.standby ? -1 : record.projectorType;
        if (LoadDescription(s.env, directory, type, record.alphaId, &session.description)) {
            session.hasDescription = true;
            session.isDefault = type == -1;
            session.describedIndex = index;
            SetBlockGeometry(s.blocks.geometry, session.description, &record);
        } else {
            ShowWarning(s.env, 16);
            // The default layout is no layout of this projector: no block may be moved by it.
            ResetBlockGeometry(s.blocks.geometry);
            if (LoadDescription(s.env, directory, -1, 0, &session.description)) {
                session.hasDescription = true;
                session.isDefault = true;
            } else {
                ShowWarning(s.env, 17);
            }
            if (view) RefreshBlockLists(s, *view);
            return out;
        }
    }

    const bool ramRows = s.blocks.ramRowCount > 0;
    if (kind != kNodeDirectAccess) {
        out.commands.saveRam = out.commands.loadRam = out.commands.appendRam = out.commands.listRam = ramRows;
    }
    out.commands.listProjectorBlocks = kind == kNodeOverview && s.projectors.connectedCount > 0;
    out.statusText = kind == kNodeInfo       ? "Info"
                     : kind == kNodeOverview ? "Overview"
                     : kind == kNodeHistory  ? "History"
                                             : "Direct Access";

    if (record.standby) {
        ShowWarning(s.env, 24);
        if (view) RefreshBlockLists(s, *view);
        return out;
    }
    out.showView = true;
    if (kind == kNodeOverview && view && session.hasDescription) BuildProjectorBlocks(s, *view, session.description);
    if (view) RefreshBlockLists(s, *view);
    return out;
}

}  // namespace ombrix
