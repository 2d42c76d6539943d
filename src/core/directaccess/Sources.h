#pragma once
// The user's list of named input sources (kept in the options record): adding,
// deleting, renaming and choosing the active one, and what the tree and strip show.
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"

namespace ombrix {

constexpr int kMaxInputSlot = 99;
constexpr int kSourceTextLimit = 40;

// Tree item value: low 16 bits the input slot, bits 16-23 the index in the list.
constexpr uint32_t SourceItemValue(int index, int inputSlot) {
    return (static_cast<uint32_t>(index & 0xFF) << 16) | static_cast<uint32_t>(inputSlot & 0xFFFF);
}
constexpr int SourceItemSlot(uint32_t value) { return static_cast<int>(value & 0xFFFF); }
constexpr int SourceItemIndex(uint32_t value) { return static_cast<int>((value >> 16) & 0xFF); }

// Input slots 1-99 that no source uses, ascending.
std::vector<int> FreeInputSlots(const ProgramOptions& options);
// text + " [" + slot + "]", the text shortened so the whole fits the name field.
std::string ComposeSourceName(const std::string& text, int inputSlot);
// "Insert" of the add dialog; inputSlot 0 when none was chosen. A slot that is taken or
// out of range gives the same "Unable to add source" box as none.
bool InsertSource(ProgramState& state, const std::string& text, int inputSlot);
// Removes an entry and keeps the active source pointing at the same entry.
bool DeleteSource(ProgramState& state, int index);
// An empty text changes nothing.
bool RenameSource(ProgramState& state, int index, const std::string& text);
// Makes an entry active (in the options as well); its input slot, or 0 for none.
int MakeSourceActive(ProgramState& state, int index);
// The strip's source field: the active name, or fallback when none is active.
std::string SourceFieldText(const ProgramState& state, const char* fallback);
constexpr const char* kNoActiveSourceOnOpen = "Active source";
constexpr const char* kNoActiveSource = "Active Source";

}  // namespace ombrix
