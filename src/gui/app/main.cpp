// Start-up and shutdown of the window program.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/app/Program.h"
#include "core/app/WindowArgs.h"
#include "core/app/WorkFolder.h"
#include "core/platform/Clock.h"
#include "core/platform/Library.h"
#include "core/platform/SerialDevice.h"
#include "core/projector/Projector.h"
#include "gui/app/ExitSignals.h"
#include "gui/app/MainFrame.h"
#include "gui/platform/QtUi.h"

namespace {

// Set before anything can call the export below, cleared before the state goes away.
ombrix::ProgramState* g_program = nullptr;

// The arguments without the toolkit's own (QApplication takes those out later), so a usage
// error is told before a display is needed: without one, QApplication aborts.
std::vector<std::string> ProgramArgs(int argc, char** argv) {
    static const char* const kWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "style",
                                             "stylesheet", "session", "qwindowgeometry", "qwindowicon",
                                             "qwindowtitle", "display", "geometry", "title", "name"};
    static const char* const kAlone[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name.rfind("--", 0) == 0) name.erase(0, 1);
        bool toolkit = false;
        for (const char* n : kWithValue) {
            if (name == std::string("-") + n) {
                toolkit = true;
                ++i;
            }
        }
        for (const char* n : kAlone) toolkit = toolkit || name == std::string("-") + n;
        if (!toolkit) args.emplace_back(argv[i]);
    }
    return args;
}

}  // namespace

// The type library calls back into the program for model letters by this name.
extern "C" __attribute__((visibility("default"))) char Return_Projector_Alpha_ID(int modelNumber) {
    return g_program ? ombrix::AlphaIdOfModel(g_program->env, modelNumber) : 0;
}

int main(int argc, char** argv) {
    ombrix::gui::InstallExitSignalHandlers();
    ombrix::IgnoreBrokenPipe();
    // Before QApplication, which needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("%s\n%s", ombrix::kWindowUsage, ombrix::kWindowOptionsHelp);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("ombrix " OMBRIX_VERSION);
            return 0;
        }
    }
    {
        const ombrix::WorkFolderChoice early =
            ombrix::ChooseWorkFolder(ProgramArgs(argc, argv), ombrix::ExecutableDirectory(),
                                     [](const char* n) { return std::getenv(n); });
        const std::string usageError =
            early.error.empty() ? ombrix::ReadWindowArgs(early.remainingArgs).error : early.error;
        if (!usageError.empty()) {
            std::fprintf(stderr, "ombrix: %s\n%s\n", usageError.c_str(), ombrix::kWindowUsage);
            return 2;
        }
    }
    QApplication app(argc, argv);
    // The frame alone decides when the program ends; a box that closes before it exists must not.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments().mid(1)) args.push_back(a.toStdString());
    const ombrix::WorkFolderChoice folder =
        ombrix::ChooseWorkFolder(args, ombrix::ExecutableDirectory(), [](const char* n) { return std::getenv(n); });
    const ombrix::WindowArgs options = ombrix::ReadWindowArgs(folder.remainingArgs);
    const std::string& usageError = folder.error.empty() ? options.error : folder.error;
    if (!usageError.empty()) {
        std::fprintf(stderr, "ombrix: %s\n%s\n", usageError.c_str(), ombrix::kWindowUsage);
        return 2;
    }
    ombrix::SysError folderError;
    if (!ombrix::EnterWorkFolder(folder, &folderError))
        std::fprintf(stderr, "ombrix: cannot work in %s (%s); staying in the current folder\n",
                     folder.directory.c_str(), folderError.text.c_str());

    ombrix::SteadyClock clock;
    ombrix::DlLibraryLoader loader;
    ombrix::SystemDeviceOpener opener;
    ombrix::gui::QtUi ui;
    // A description missing from the work folder comes from the per-user folder or the
    // shipped data, as for ombrix-cli.
    const std::vector<std::string> descriptionFolders =
        ombrix::DescriptionFallbackFolders(ombrix::ExecutableDirectory(), [](const char* n) { return std::getenv(n); });
    ombrix::ProgramState state(clock, ui, loader, opener);
    state.env.descriptionFolders = &descriptionFolders;
    g_program = &state;
    ombrix::StartProgram(state);

    auto frame = std::make_unique<ombrix::gui::MainFrame>(state);
    // Dialogs and message boxes carry the frame's icon too.
    QApplication::setWindowIcon(frame->windowIcon());
    // Only now may a signal save and exit; before, it ends the process where it stands.
    // The notifier outlives the shutdown so a late signal cannot cut the options write short.
    ombrix::gui::ExitSignalNotifier exitSignals;
    QObject::connect(&exitSignals, &ombrix::gui::ExitSignalNotifier::exitRequested, frame.get(),
                     &ombrix::gui::MainFrame::EndSession);
    // exit() rather than quit(): it also ends a modal dialog a signal finds open.
    QObject::connect(frame.get(), &ombrix::gui::MainFrame::closed, &app, [] { QCoreApplication::exit(0); });
    frame->show();
    if (options.openCommunication)
        QTimer::singleShot(0, frame.get(), &ombrix::gui::MainFrame::OpenCommunication);
    // For timing start-up: leave as soon as the shown frame has been through the event loop.
    if (std::getenv("OMBRIX_EXIT_WHEN_SHOWN"))
        QTimer::singleShot(0, frame.get(), &ombrix::gui::MainFrame::Exit);
    const int code = app.exec();
    frame.reset();
    ombrix::ShutdownProgram(state);
    g_program = nullptr;
    return code;
}
