#pragma once
// The on-screen handset: where each key sits, what it sends, and what a press does to
// the window and the projectors. The line work of a press runs on any one thread and
// touches only the press itself; the window and the projector table change on the UI
// thread before and after it.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"

namespace ombrix {

enum class RemoteKeyKind { Strip, Single, AddressKey, Power, Pause, Text, Digit, Repeating };

struct RemoteKey {
    int control;
    int x, y, width, height;  // in the window's client area; the picture starts at (10, 30)
    RemoteKeyKind kind;
    uint8_t code;  // the KeyCommand byte; a digit key's is 0x10 + the digit
    int pauseMs;   // after the action; power, pause and text wait per projector instead
    const char* legend;  // what the key does; also its accessible name
    const char* face;    // the short text on a plain button when there are no pictures
};

constexpr int kRemoteKeyCount = 41;
extern const RemoteKey kRemoteKeys[kRemoteKeyCount];

constexpr int kRemotePictureX = 10;
constexpr int kRemotePictureY = 30;
// The picture's size when the image library cannot supply it: the keys still fit.
constexpr int kRemoteFallbackWidth = 250;
constexpr int kRemoteFallbackHeight = 410;
// Key images are merged with this light yellow (0xAARRGGBB; every channel ANDed) when lit.
constexpr uint32_t kIlluminationMask = 0xFFFFFFA0;

constexpr uint32_t kSendPauseMs = 120;
constexpr uint32_t kRepeatDelayMs = 300;
constexpr int kWakeUpSeconds = 10;

const RemoteKey* FindRemoteKey(int control);

// The repeating keys as left/right pairs, top to bottom: what the arrow keys of the
// keyboard reach.
constexpr int kRemotePairCount = 9;
extern const int kRemotePairs[kRemotePairCount][2];
// The pair a repeating key belongs to, or -1.
int RemotePairOf(int control);

constexpr int kMaxRemoteWindows = 9;

struct RemoteWindowEntry {
    int id = 0;               // stands for the window; never reused while the program runs
    uint8_t address = 0;      // the window's target; 0 = every connected projector
    bool illuminated = false;
    bool addressEntry = false;
    uint8_t remoteAddress = 0;  // where keys go: the target, or the address being typed
    // "Send to group ...": keys go to each connected member in order instead; the
    // address key ends it.
    std::string group;
    std::vector<uint8_t> groupMembers;
};

// Gap-free: closing a window moves the later ones down.
struct RemoteWindowTable {
    RemoteWindowEntry entries[kMaxRemoteWindows];
    int count = 0;
    int lastId = 0;
};

// A new window aimed at address; 0 (and warning 44) when nine are open.
int AddRemoteWindow(RemoteWindowTable& table, const Env& env, uint8_t address);
bool RemoveRemoteWindow(RemoteWindowTable& table, int id);
RemoteWindowEntry* FindRemoteWindow(RemoteWindowTable& table, int id);
int RemoteWindowIndex(const RemoteWindowTable& table, int id);

std::string RemoteTitle(uint8_t address);
// "Remote Control [Dome]" while the window sends to a group, else RemoteTitle.
std::string RemoteWindowTitle(const RemoteWindowEntry& window);
// Aims the window at a group (its members as they are now).
void AimRemoteAtGroup(RemoteWindowEntry& window, const UserGroup& group);
const char* RemoteConnectionText(bool lineOpen);
// The closing dialog's buttons.
constexpr int kCloseActiveWindow = 1072;
constexpr int kCloseAllWindows = 1073;
// The windows a choice of the closing dialog closes, in the order to close them.
std::vector<int> RemoteWindowsToClose(const RemoteWindowTable& table, int activeId, int choice);

// One press of a key, from the window's state to what came back from the projectors.
struct KeyPress {
    const RemoteKey* key = nullptr;
    uint8_t address = 0;              // where it goes (0: every connected projector)
    bool sends = false;               // false: the lamp, the address key, a digit typed into an address
    std::vector<uint8_t> connected;   // the connected addresses in table order, at the press
    // Power, pause and text: copies of the records concerned, refreshed by the run.
    std::vector<ProjectorRecord> records;
    bool inTable = false;
    bool group = false;  // to a group's members: connected holds them, digits go to each
    // With a group: every member in order, those the key cannot reach marked skipped,
    // the others marked done or failed as the line answered.
    std::vector<MemberOutcome> members;
    // Outcome.
    int result = kDone;
    bool statusRead = false;
    StatusFlags flags;
    bool treeChanged = false;
};

// UI thread: the window's own changes (lamp, address entry, typed digits) and the plan.
KeyPress BeginKeyPress(RemoteWindowEntry& window, const ProjectorTable& table, int control);
// Any thread: the line work and the pause after it. Boxes go through env.
void RunKeyPress(Link& link, const Env& env, KeyPress& press);
// UI thread: what the projectors answered goes into the records still connected; true
// when the projector tree must follow.
bool FinishKeyPress(ProjectorTable& table, StatusFlags& statusFlags, const KeyPress& press);
// All three on the calling thread.
bool PressRemoteKey(ProgramState& state, RemoteWindowEntry& window, int control);

// address 0: each connected projector in turn, stopping at the first failure. 120 ms after
// each frame. Returns the last result.
int SendKey(Link& link, uint8_t address, uint8_t code, const std::vector<uint8_t>& connected);

// A repeating key held down: its code once after 300 ms, then again after each 120 ms
// pause for as long as buttonDown stays set. The background check stays off the line for
// the whole hold. Returns the number of sends; a failure ends the loop and is reported.
int RunRepeatLoop(Link& link, const Env& env, const KeyPress& press, const std::atomic<bool>& buttonDown);

}  // namespace ombrix
