#pragma once
// The General panel's force toggles (power, pause, text), switching a projector to an
// input by its digit keys, and forcing a block by source type and number.
#include <cstdint>
#include <string>
#include <vector>

#include "directaccess/DirectAccess.h"

namespace ombrix {

enum ForceWhich : int { kForcePower = 0, kForcePause = 1, kForceText = 2 };
constexpr uint8_t kKeyPower = 0x0E;
constexpr uint8_t kKeyPause = 0x0F;
constexpr uint8_t kKeyText = 0x0D;
constexpr uint32_t kForceKeySettleMs = 400;
constexpr int kForceWakeUpSeconds = 10;
constexpr uint32_t kDigitGapMs = 50;

// "Force : status address 5".
std::string ForceCaption(uint8_t address);
// ReadStatus of the current projector into the three force flags; errors are reported.
int RefreshForceStatus(ProgramState& state);
// The three status lines ("On"/"Off") for the force flags.
std::string ForceStatusText(const DirectAccessState& da, int which);
// The button's flag inverted, applied to every target, then the status read again.
void ToggleForce(ProgramState& state, int which, const ProgressHooks& hooks);
void ApplyForce(ProgramState& state, int which, uint8_t desired, const ProgressHooks& hooks);
// ApplyForce's step for one connected projector, without the panel's refresh: -1 when it
// is not connected or does not answer, 0 when it already is as desired (nothing sent),
// 1 when the key was sent (its record then holds the status read after it).
int ForceOne(ProgramState& state, uint8_t address, int which, uint8_t desired, const ProgressHooks& hooks);

// The digit keys of an input slot: one below 10, else tens then units.
std::vector<uint8_t> SourceDigitKeys(int inputSlot);
// False when a status read failed or a digit key was not done (reported; the digits after
// it are not sent); the record keeps what it had. *result: 3, or the failed exchange's.
bool SelectSource(ProgramState& state, uint8_t address, int inputSlot, const ProgressHooks& hooks,
                  int* result = nullptr);
// "Select >>": the entry's input on the current projector; the entry becomes the active
// source only once the projector answered both status reads.
bool ChooseSource(ProgramState& state, int index, const ProgressHooks& hooks);

// Source types of a forced block: program strings 61817 on.
constexpr int kSourceTypeCount = 5;
constexpr int kSourceTypeStringBase = 61817;
constexpr int kSourceNumberCount = 99;
std::string SourceTypeText(int typeIndex);
uint8_t ForceBlockTypeCode(int typeIndex);
// Source number and type code of the current choice to every target; errors reported.
void SendForceBlock(ProgramState& state);

}  // namespace ombrix
