#pragma once
// The tree of projector groups: one main group built from the connected projectors, a
// node per projector with its three views below. Kept as a plain node model that a view
// shows as it is. Choosing a view node makes its projector current and loads that
// projector's description.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"
#include "blocks/BlockList.h"
#include "data/Description.h"

namespace ombrix {

// Node item data: kind in the low 16 bits, projector address in bits 16-23.
enum NodeKind : uint16_t {
    kNodeGroupOrProjector = 0,
    kNodeInfo = 1,
    kNodeOverview = 2,
    kNodeDirectAccess = 3,
    kNodeHistory = 4,
};
constexpr uint32_t NodeData(NodeKind kind, uint8_t address) { return kind | (static_cast<uint32_t>(address) << 16); }
constexpr NodeKind NodeDataKind(uint32_t data) { return static_cast<NodeKind>(data & 0xFFFF); }
constexpr uint8_t NodeDataAddress(uint32_t data) { return static_cast<uint8_t>(data >> 16); }

// Icons of the tree's image list.
enum TreeImage : int {
    kImageOperating = 0,
    kImagePause = 1,
    kImageStandby = 2,
    kImageGroup = 3,
    kImageInfo = 4,
    kImageOverview = 5,
    kImageDirectAccess = 6,
};

constexpr int kMaxGroupMembers = 255;
constexpr size_t kMemberLabelSize = 40;
constexpr size_t kTreeGroupNameSize = 32;

struct GroupMember {
    uint8_t address = 0;
    int image = 0;
    std::string label;
    std::string infoText;
};

struct ProjectorGroup {
    int memberCount = 0;
    std::array<GroupMember, kMaxGroupMembers> members{};
    std::string name;
    int shown = 0;
};

struct TreeNode {
    std::string text;
    int image = 0;
    uint32_t data = 0;
    bool expanded = false;
    bool dimmed = false;  // a member of a user group that is not connected
    std::vector<TreeNode> children;
};

struct GroupTable {
    std::vector<ProjectorGroup> groups;  // groupCount = groups.size()
    bool mainGroupFlag = true;
    std::vector<TreeNode> roots;  // the tree as last filled
};

// The projector description of the communication window: the description of the
// current projector, held until another projector is chosen.
struct ProjectorSession {
    Description description;
    bool hasDescription = false;
    bool isDefault = false;   // default.dsc stands in
    int describedIndex = -1;  // the projector it describes; -1: reload on the next selection
};

uint32_t StateImage(const ProjectorRecord& record);
// The one-letter model-line prefix of a projector with or without sound.
char ModelLinePrefix(bool soundAvailable);
// "Projector [5] : " + prefix + model, or "Unknown" in place of both for an unknown type.
std::string ProjectorNodeText(const Env& env, const ProjectorRecord& record);

// Rebuilds the main group from the connected projectors, the user groups from the
// grouping (state.groups) and the nodes from the groups. A user group's member that is
// not connected keeps its node, greyed, "Projector [N]", without view nodes.
void FillProjectorTree(ProgramState& state, GroupTable& groups);

struct TreeRefresh {
    bool currentChanged = false;  // the current projector went: the right-hand views close
};
// After a background check: state images, a new fill, the current projector found again
// (its index may have moved) or the first one made current, the selections of projector
// blocks following their projector, and the description reloaded on the next selection.
TreeRefresh RefreshProjectorTree(ProgramState& state, GroupTable& groups, ProjectorSession& session,
                                 BlockView* view);

// The group node and the node of the projector at this address are shown open.
void ExpandProjector(GroupTable& groups, uint8_t address);

// Path of the node that carries this data (indexes from the root), empty when none.
std::vector<int> FindNode(const GroupTable& groups, uint32_t data);
// The group of a node path (its root), the member of a projector node; -1 when none.
int FindGroupByNode(const GroupTable& groups, const std::vector<int>& path);
int FindMemberByNode(const GroupTable& groups, int group, uint32_t nodeData);
int FindProjectorByAddress(const ProgramState& state, int address);

// Labels can be edited only on group and projector nodes, up to 40 characters.
bool CanEditLabel(uint32_t nodeData);
// The edited text becomes the group's name or the member's label (error 33 / 20 / 23
// when they cannot be found). groupIndex is the node's group (its root's index).
bool EndLabelEdit(ProgramState& state, GroupTable& groups, int groupIndex, uint32_t nodeData, const std::string& text);

// Enabled states of the commands a view node decides.
struct ViewCommands {
    bool saveRam = false;
    bool loadRam = false;
    bool appendRam = false;
    bool listRam = false;
    bool listProjectorBlocks = false;
};

struct NodeSelection {
    bool handled = false;   // a view node chosen with the mouse while nothing else is busy
    bool projectorChanged = false;
    bool showView = false;  // the right-hand view of the kind is to be shown
    NodeKind kind = kNodeGroupOrProjector;
    ViewCommands commands;
    std::string statusText;  // "Info", "Overview", "Direct Access" or "History"
    std::string refusal;     // why a view node clicked with the mouse was not taken
};

constexpr const char* kSettingsShownText = "The Settings view is open: choose Settings again to leave it";

// A view node chosen: its projector becomes current with its description (warning 16
// and default.dsc when it has none, warning 17 when that is missing too; either way no
// view). A projector in standby gets warning 24 and no view. For the Overview the
// projector's blocks are read and listed into view. busy: the settings view of a block or
// a direct-access adjustment is active.
NodeSelection SelectViewNode(ProgramState& state, ProjectorSession& session, BlockView* view, uint32_t nodeData,
                             bool byMouse, bool busy);

}  // namespace ombrix
