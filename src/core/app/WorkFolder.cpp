#include "app/WorkFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Files.h"

namespace ombrix {
namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p; the user's folder is private (0700) because comm.cfg names their devices.
bool MakeDirectories(const std::string& path, SysError* error) {
    if (path.empty() || IsDirectory(path)) return true;
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash), error)) return false;
    if (::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path))) return true;
    if (error) *error = SystemErrorFromErrno(errno, path);
    return false;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> DescriptionFiles(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (EndsWith(name, ".dsc") && name.size() > 4) names.push_back(name);
    }
    ::closedir(d);
    return names;
}

// $XDG_DATA_HOME/ombrix, or $HOME/.local/share/ombrix; empty when neither is known.
std::string PerUserFolder(const EnvLookup& env) {
    const char* dataHome = env ? env("XDG_DATA_HOME") : nullptr;
    // The base directory spec: a relative XDG_DATA_HOME is invalid and ignored.
    if (dataHome && dataHome[0] == '/') return std::string(dataHome) + "/ombrix";
    if (const char* home = env ? env("HOME") : nullptr; home && home[0]) return std::string(home) + "/.local/share/ombrix";
    return {};
}

// EXEDIR/../share/ombrix/data when it exists (the program is installed); else empty.
std::string SharedDataFolder(const std::string& executableDirectory) {
    const std::string shared = executableDirectory + "/../share/ombrix/data";
    return IsDirectory(shared) ? shared : std::string();
}

}  // namespace

WorkFolderChoice ChooseWorkFolder(const std::vector<std::string>& args, const std::string& executableDirectory,
                                  const EnvLookup& env) {
    WorkFolderChoice choice;
    bool named = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--workdir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                choice.error = "--workdir needs a folder";
                return choice;
            }
            choice.directory = args[++i];
            named = true;
        } else if (a.rfind("--workdir=", 0) == 0) {
            choice.directory = a.substr(10);
            if (choice.directory.empty()) {
                choice.error = "--workdir needs a folder";
                return choice;
            }
            named = true;
        } else {
            choice.remainingArgs.push_back(a);
        }
    }
    choice.sharedData = SharedDataFolder(executableDirectory);
    if (choice.sharedData.empty() || named) return choice;
    choice.directory = PerUserFolder(env);
    return choice;
}

std::vector<std::string> DescriptionFallbackFolders(const std::string& executableDirectory, const EnvLookup& env) {
    std::vector<std::string> folders;
    if (std::string user = PerUserFolder(env); !user.empty()) folders.push_back(std::move(user));
    if (std::string shared = SharedDataFolder(executableDirectory); !shared.empty()) {
        folders.push_back(std::move(shared));
    } else if (const std::string built = executableDirectory + "/../" + kBuildTreeDataFolder; IsDirectory(built)) {
        folders.push_back(built);
    }
    return folders;
}

bool EnterWorkFolder(const WorkFolderChoice& choice, SysError* error) {
    if (!EnterWorkFolderUnseeded(choice, nullptr, error)) return false;
    SeedWorkFolder(choice);
    return true;
}

bool EnterWorkFolderUnseeded(const WorkFolderChoice& choice, std::vector<std::string>* created, SysError* error) {
    if (choice.directory.empty()) return true;
    std::vector<std::string> missing;
    for (std::string path = choice.directory; !path.empty() && !IsDirectory(path);) {
        missing.push_back(path);
        const auto slash = path.find_last_of('/');
        path = slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
    }
    if (!MakeDirectories(choice.directory, error)) return false;
    if (created) {
        // Absolute, as they are removed from inside the folder.
        char cwd[4096];
        const std::string base = ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" : std::string();
        created->clear();
        for (const std::string& m : missing) created->push_back(m[0] == '/' ? m : base + m);
    }
    if (::chdir(choice.directory.c_str()) != 0) {
        if (error) *error = SystemErrorFromErrno(errno, choice.directory);
        return false;
    }
    return true;
}

void SeedWorkFolder(const WorkFolderChoice& choice) {
    if (choice.directory.empty() || choice.sharedData.empty()) return;
    for (const std::string& name : DescriptionFiles(choice.sharedData)) {
        if (FileExists(name)) continue;
        std::vector<uint8_t> bytes;
        // A file that cannot be copied is only a missing type; the program says so
        // when it needs it.
        if (ReadWholeFile(choice.sharedData + "/" + name, &bytes, nullptr)) WriteFileAtomic(name, bytes, nullptr);
    }
}

void RemoveCreatedFolders(const std::vector<std::string>& created) {
    // Deepest first; rmdir leaves a folder that someone filled meanwhile.
    for (const std::string& path : created) ::rmdir(path.c_str());
}

}  // namespace ombrix
