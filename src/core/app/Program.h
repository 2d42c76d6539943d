#pragma once
// The program-wide state and the start-up and shutdown steps that every shell (the
// window, the command-line tool, tests) runs the same way.
#include <memory>
#include <string>
#include <vector>

#include "app/Options.h"
#include "blocks/BlockModel.h"
#include "blocks/Groups.h"
#include "directaccess/DirectAccessState.h"
#include "link/Commands.h"
#include "link/Link.h"
#include "platform/Env.h"
#include "platform/Library.h"
#include "platform/SerialDevice.h"
#include "projector/Projector.h"

namespace ombrix {

constexpr size_t kMaxStartDirectory = 300;

// How the last search ended. Only a search that ran over its addresses may conclude
// that nobody is connected; the others leave the search mode as the user set it.
enum class SearchEnd {
    Completed,      // every address asked, or stopped by the user
    LineLost,       // the line went while searching; said once
    LineUnquiet,    // the line kept talking, so no answer could be heard; said once
    SetUnreadable,  // the address set exists but could not be read; said, nothing probed
};

struct ProgramState {
    ProgramState(Clock& clock, Ui& ui, LibraryLoader& loader, DeviceOpener& opener);
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    Env env;
    LibraryLoader& loader;
    std::unique_ptr<Library> imagesLibrary;
    std::unique_ptr<Library> stringsLibrary;
    std::string startDirectory;

    ProgramOptions options;
    SearchEnd lastSearch = SearchEnd::Completed;
    // Set once options.cfg has been read or created: only then may it be written.
    bool optionsLoaded = false;

    Link link;
    StatusFlags statusFlags;
    ProjectorTable projectors;
    BlockTables blocks;
    DirectAccessState direct;
    // The user groups, as groups.json holds them; the main group is the projector table.
    Grouping groups;
    // groups.json could not be read at start: it is moved aside before it is written.
    bool groupsFileRefused = false;
};

// The files the program itself writes in its work folder: only their temporary files
// are ever cleared away at start.
std::vector<std::string> WorkFolderFileNames();
// Remembers the start directory, clears what killed saves left of the work folder's
// own files, loads both libraries, reads or creates options.cfg.
void StartProgram(ProgramState& state);
// Reads options.cfg, or writes the defaults when there is none.
void LoadOptions(ProgramState& state);
// An options.cfg that could not be read is renamed to options.cfg.refused (or .refused2,
// ...) and the user told so; false when it could not be moved, and then it is never
// written over.
bool KeepRefusedOptions(ProgramState& state);
// Writes options.cfg (never before it was read); false when it could not be written.
bool SaveOptions(ProgramState& state);
// The frame's part of start-up: comm.cfg and the COM mapping of the working directory.
void LoadCommSettings(ProgramState& state);
// Writes options.cfg (warning 45 on failure), closes the line, frees the libraries.
void ShutdownProgram(ProgramState& state);

}  // namespace ombrix
