#pragma once
// The settings pane of the adjustment block: one parameter group of a stored block at a
// time, its fields placed by the description's layout bytes, a working copy that Save
// writes back, and in Direct Access (the block is the projector's active one) every
// change applied live to the projector as relative steps. Only parameters the
// description opens to direct access are read or stepped live.
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"
#include "data/Description.h"

namespace ombrix {

// Commands of the settings tabs: 40052 + the group's position in the description.
constexpr int kCmdSettingsGroupFirst = 40052;
constexpr int kCmdSettingsGroupLast = 40081;
// Value fields are numbered from here; only the first 30 take clicks.
constexpr int kFirstFieldId = 6015;
constexpr int kRespondingFields = 30;
// Direct Access waits this long before it sends a step from the scroll bar.
constexpr uint32_t kScrollWriteDelayMs = 300;
// The one direct-access code whose second code byte goes out as 0.
constexpr uint8_t kSecondByteZeroCode = 0x34;

// Bits 0-7 the option flags of the record, bits 14 and 15 its two special-block flags.
uint32_t CapabilityMask(const ProjectorRecord& record);

// Whether a group (its specialKind read as a requirement mask) gets a tab for a block of
// this special kind (0 for an ordinary block).
bool GroupShown(int32_t mask, int blockSpecialKind, bool projectorKnown, uint32_t capability);

struct SettingsTab {
    int position = 0;  // of the group among all groups of the description
    std::string name;
};

// The projector the adjustment block belongs to: its own for a projector block; for a RAM
// row the connected projector it was read from (by id number), else one of its type.
// nullptr when it cannot be determined.
const ProjectorRecord* AdjustmentProjector(const ProgramState& s);

// The tabs of the settings view, in description order.
std::vector<SettingsTab> SettingsTabs(const Description& d, int blockSpecialKind, const ProjectorRecord* projector);

// Shown while a pane reads its block and the live values of a projector block: "Reading
// NAME from projector N ...". Empty for a RAM row, which opens without the line.
std::string PaneReadingText(const ProgramState& s, const std::string& groupName);

// Loads the description of the adjustment block's type and lists its tabs. Warning 35
// without an adjustment block, warning 16 without a description; false then.
bool AdjustmentTabs(ProgramState& s, std::vector<SettingsTab>* tabs);

enum class PaneMode { View, Compare };
enum class PaneColour { Red = 1, Green = 2, Blue = 3 };
// The values match the parameters' direction conditions.
enum class PaneDirection { LeftRight = 1, TopBottom = 2, Lateral = 3, Diagonal = 4 };

// One value field and its label, in the description's layout units.
struct PaneField {
    int id = 0;          // kFirstFieldId + k
    int parameter = 0;   // index in the page list
    std::string name;    // paramName
    int labelColumn = 0, labelLine = 0, labelWidth = 0;  // width 0: no label
    int fieldColumn = 0, fieldLine = 0, fieldWidth = 0;
    int value = 0;
    bool Responds() const { return id < kFirstFieldId + kRespondingFields; }
};

// The scroll bar of the control panel and what goes with it.
struct ControlPanel {
    bool shown = false;
    int min = 0, max = 0, position = 0;
    std::string title;  // "Direct Access : " or "Indirect Access : " and the parameter's name
};

struct EditedBlock {
    bool fromProjector = false;
    int row = -1;            // projector row or RAM row at opening
    int projectorIndex = -1;
    uint8_t address = 0;
    uint8_t wireHeader[4] = {0, 0, 0, 0};
    int projectorType = 0;
    char alphaId = 0;
    int specialKind = 0;
    int length = 0;          // L, 1-240
    BlockBody working{};
    BlockBody display{};
    // A projector block is written back only once its body has been read from it, so a
    // failed read never overwrites the projector's settings with bytes it never held.
    bool bodyRead = false;
};

struct SettingsPane {
    bool loaded = false;  // a block and a group are in the pane
    EditedBlock block;
    int directAccess = 0;
    bool referenceSelected = false;
    bool projectorKnown = false;
    uint32_t capability = 0;
    int position = -1;
    DescriptionKind group;
    std::string caption;
    std::vector<DescriptionParameter> page;

    PaneMode viewMode = PaneMode::View;
    PaneColour colour = PaneColour::Green;
    PaneDirection direction = PaneDirection::LeftRight;
    int currentParameter = -1;
    int currentValue = 0;
    std::vector<PaneField> fields;
    ControlPanel control;

    bool HasColour() const { return group.kindBytes[0] != 0; }
    int DirectionKind() const { return group.kindBytes[1]; }
    bool HasMode() const { return group.kindBytes[2] != 0; }
    bool HasControl() const { return group.kindBytes[3] != 0; }
    // "Compare" is offered only with a reference block.
    bool OffersCompare() const { return HasMode() && referenceSelected; }
};

// Opens the pane for the group at this position: warning 35, ReadLocation, warning 16,
// error 42, warning 41 as they come. False when there is no page to show.
bool OpenSettingsPane(ProgramState& s, SettingsPane* pane, int position);
// The fields again for the current choices (values re-read in Direct Access); the control
// panel follows the new current parameter.
void RebuildFields(ProgramState& s, SettingsPane& pane);

void ChooseColour(ProgramState& s, SettingsPane& pane, PaneColour colour);
void ChooseDirection(ProgramState& s, SettingsPane& pane, PaneDirection direction);
// "View" or "Compare"; back to View rebuilds the fields without reloading.
void ChooseMode(ProgramState& s, SettingsPane& pane, PaneMode mode);
// A value field gained the focus; false for a field that takes no clicks.
bool FocusField(ProgramState& s, SettingsPane& pane, int fieldId);
void ShowControlPanel(ProgramState& s, SettingsPane& pane, bool on);

enum class ScrollAction { LineLeft, LineRight, PageLeft, PageRight, Thumb, ToStart, ToEnd };
// One action on the control panel's bar; thumb is the position for Thumb.
void Scroll(ProgramState& s, SettingsPane& pane, ScrollAction action, int thumb = 0);
// The value a bar action leads to from value, within min..max.
int ScrollTarget(ScrollAction action, int value, int thumb, int min, int max);

// A relative change as WriteParameter steps of a signed byte each (a change beyond
// -128..127 goes in several steps, never wrapped); da1 0x34 sends 0 as its second code
// byte. The first failing result, or 3.
int WriteParameterSteps(ProgramState& s, uint8_t address, uint8_t da1, uint8_t da2, int change);

// Writes the working copy back: to the projector (WriteBlockData) or into the RAM row.
// 1 when written.
int SaveBlock(ProgramState& s, SettingsPane& pane);
// Indirect Access only: the working and display copies again from the projector or the
// RAM row, every field and the bar with them. 1 when reloaded.
int RestoreBlock(ProgramState& s, SettingsPane& pane);
// The pane goes: the block is saved, everything reset to its start values.
void CloseSettingsPane(ProgramState& s, SettingsPane& pane);

// Pixel places of the pane's controls, from the width of an average character and the
// height of a line of the pane's font; rowHeight is the height of one line of the Control
// column (its radio buttons are taller than a line of text).
struct FieldRect {
    int x = 0, y = 0, w = 0, h = 0;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
};
struct PaneLayout {
    std::vector<FieldRect> labels;  // per field; w 0 when it has none
    std::vector<FieldRect> fields;
    FieldRect settingsFrame;
    // Control column: one row per entry of controlRows, framed by controlFrame.
    std::vector<std::string> controlRows;  // "Mode", "Color", "Direction", "Control"
    std::vector<FieldRect> controlRowRects;
    FieldRect controlFrame;
    FieldRect panelFrame;  // the control panel, below the "Settings" frame
};
PaneLayout LayOutPane(const SettingsPane& pane, int charWidth, int lineHeight, int rowHeight);

// The toggle's text.
std::string AccessText(const SettingsPane& pane);

}  // namespace ombrix
