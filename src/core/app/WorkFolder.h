#pragma once
// Where the program keeps its files. From a build tree it works in the folder it was
// started in, as it always has; installed, each user gets a folder of their own that is
// seeded with the shipped description files, because /usr is not writable and
// options.cfg, comm.cfg and the address sets belong to the person, not the machine.
#include <functional>
#include <string>
#include <vector>

#include "platform/SystemError.h"

namespace ombrix {

struct WorkFolderChoice {
    // Empty: stay in the current directory.
    std::string directory;
    // The folder the shipped description files are copied from; empty when not installed.
    std::string sharedData;
    // The command line without the option that named the folder.
    std::vector<std::string> remainingArgs;
    // A usage error (the option without a value); the text says what is wrong.
    std::string error;
};

using EnvLookup = std::function<const char*(const char*)>;

// "--workdir DIR" (or "--workdir=DIR") wins; else an installed program
// (EXEDIR/../share/ombrix/data exists) uses $XDG_DATA_HOME/ombrix, or
// $HOME/.local/share/ombrix; else the current directory.
WorkFolderChoice ChooseWorkFolder(const std::vector<std::string>& args, const std::string& executableDirectory,
                                  const EnvLookup& env);

// Where a build tree keeps a copy of the shipped description files, beside bin/.
constexpr const char* kBuildTreeDataFolder = "ombrix-data";

// Where description files are looked for after the work folder, in this order: the
// per-user folder ($XDG_DATA_HOME/ombrix, or $HOME/.local/share/ombrix) and the shipped
// data folder (EXEDIR/../share/ombrix/data) when the program is installed, else the
// build tree's copy (EXEDIR/../ombrix-data). A shell tool started in a fresh folder so
// finds the descriptions the window program seeds from.
std::vector<std::string> DescriptionFallbackFolders(const std::string& executableDirectory, const EnvLookup& env);

// Creates the folder if need be, copies each shipped description file (*.dsc) that the
// folder does not hold yet, and makes it the current directory. A user's own copy of a
// file is never replaced.
bool EnterWorkFolder(const WorkFolderChoice& choice, SysError* error);

// The same in two steps, for a program that must leave no trace when it cannot run: the
// folder is made (created: the folders that were made, deepest first) and entered, and
// seeded only once the program runs; RemoveCreatedFolders takes the made ones away again.
bool EnterWorkFolderUnseeded(const WorkFolderChoice& choice, std::vector<std::string>* created, SysError* error);
// Into the current directory, which is the chosen folder once entered.
void SeedWorkFolder(const WorkFolderChoice& choice);
void RemoveCreatedFolders(const std::vector<std::string>& created);

}  // namespace ombrix
