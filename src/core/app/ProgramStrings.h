#pragma once
// The program's own numbered strings: window texts, list items of its dialogs, and the
// help line shown for each menu command.
namespace ombrix {

// nullptr when there is no such string.
const char* ProgramString(int id);

}  // namespace ombrix
