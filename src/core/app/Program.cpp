#include "app/Program.h"

#include <time.h>
#include <unistd.h>

#include <cctype>
#include <vector>

#include "discovery/AddressSets.h"
#include "discovery/QuickSearch.h"
#include "platform/Files.h"
#include "projector/Messages.h"
#include "service/Schedule.h"

namespace ombrix {
namespace {

// A temporary file last written before this start belongs to a save that was cut off; a
// save running in another instance renames its file within milliseconds.
struct timespec StartTime() {
    struct timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

}  // namespace

std::vector<std::string> WorkFolderFileNames() {
    return {kOptionsFileName,    kCommFileName,         kComPortMapFileName, kQuickSearchFileName,
            kUserAddressFile,    kGeneratedAddressFile, kGroupsFileName,     kSchedulesFileName};
}

ProgramState::ProgramState(Clock& clock, Ui& ui, LibraryLoader& l, DeviceOpener& opener)
    : loader(l), link(clock, opener) {
    env.clock = &clock;
    env.ui = &ui;
}

void StartProgram(ProgramState& s) {
    std::vector<char> cwd(kMaxStartDirectory + 1, '\0');
    if (::getcwd(cwd.data(), cwd.size())) s.startDirectory = cwd.data();
    // A save killed before its rename leaves its temporary file; nothing else removes it.
    RemoveStaleTempFiles(".", WorkFolderFileNames(), StartTime());

    s.imagesLibrary = s.loader.Load("kelvanebmp", nullptr);
    s.stringsLibrary = s.loader.Load("kelvaneproj", nullptr);
    s.env.strings = s.stringsLibrary.get();
    // The text of error 41 lives in the type library, so it can only be shown once that
    // library is in; without the type library nothing can be shown at all.
    if (!s.imagesLibrary) ShowError(s.env, 41);
    if (!s.stringsLibrary) ShowError(s.env, 30);

    LoadOptions(s);
}

namespace {

bool KeepTrailingOptions(ProgramState& s) {
    SysError error;
    const std::string kept = MoveFileAside(kOptionsFileName, ".refused", &error);
    if (kept.empty()) {
        if (s.env.ui) {
            s.env.ui->ShowBoxDetail("Options", std::string("\"") + kOptionsFileName +
                                                   "\" holds more than its options and is left as it is; the "
                                                   "options are not saved at exit.",
                                    BoxIcon::Information, error.text);
        }
        return false;
    }
    if (!WriteOptionsFile(kOptionsFileName, s.options, &error) && s.env.ui) ShowWarning(s.env, 42);
    if (s.env.ui) {
        s.env.ui->ShowBox("Options",
                          std::string("\"") + kOptionsFileName + "\" held more than its options; the whole file was "
                              "kept as \"" + kept + "\" and its options are used.",
                          BoxIcon::Information);
    }
    return true;
}

}  // namespace

void LoadOptions(ProgramState& s) {
    SysError error;
    bool trailing = false;
    switch (ReadOptionsFile(kOptionsFileName, &s.options, &error, &trailing)) {
        case OptionsRead::Loaded:
            // What follows the record is no program's, but may be the person's: a save
            // would cut it off, so the whole file is kept aside first.
            if (trailing && !KeepTrailingOptions(s)) return;
            break;
        case OptionsRead::Missing:
            s.options = ProgramOptions{};
            if (!WriteOptionsFile(kOptionsFileName, s.options, &error)) ShowWarning(s.env, 42);
            break;
        case OptionsRead::Unreadable:
            s.options = ProgramOptions{};
            ShowWarning(s.env, 45, error.text);
            // The refused file may hold the user's sources: it is never overwritten.
            if (!KeepRefusedOptions(s)) return;
            break;
    }
    s.optionsLoaded = true;
}

bool KeepRefusedOptions(ProgramState& s) {
    SysError error;
    const std::string kept = MoveFileAside(kOptionsFileName, ".refused", &error);
    if (kept.empty()) {
        if (s.env.ui) {
            s.env.ui->ShowBoxDetail("Options", std::string("\"") + kOptionsFileName +
                                                   "\" is left as it is; the options are not saved at exit.",
                                    BoxIcon::Information, error.text);
        }
        return false;
    }
    if (s.env.ui) {
        s.env.ui->ShowBox("Options",
                          std::string("\"") + kOptionsFileName + "\" could not be read and was kept as \"" + kept +
                              "\"; the default options are used and saved as a new \"" + kOptionsFileName + "\".",
                          BoxIcon::Information);
    }
    return true;
}

bool SaveOptions(ProgramState& s) {
    if (!s.optionsLoaded) return false;
    return WriteOptionsFile(kOptionsFileName, s.options, nullptr);
}

void LoadCommSettings(ProgramState& s) {
    LoadCommSettings(kCommFileName, &s.link.settings, &s.link.currentAddress);
    s.link.portMap = ComPortMap{};
    if (!s.link.portMap.LoadFile(kComPortMapFileName) && s.env.ui) {
        std::string text = s.link.portMap.Problem();
        if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        s.env.ui->ShowBox("Projector RS232", text + ".\nA COM port it may lead elsewhere is not opened at its default.",
                          BoxIcon::Exclamation);
    }
}

void ShutdownProgram(ProgramState& s) {
    if (s.optionsLoaded && !SaveOptions(s)) ShowWarning(s.env, 45);
    if (s.link.device) CloseConnectionAll(s.link);
    s.env.strings = nullptr;
    s.imagesLibrary.reset();
    s.stringsLibrary.reset();
}

}  // namespace ombrix
