#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>

#include "Cli.h"
#include "app/WorkFolder.h"
#include "platform/Library.h"
#include "platform/SerialDevice.h"

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

}  // namespace

int main(int argc, char** argv) {
    // Ctrl+C asks the running search or watch to stop; it ends through the normal path
    // so the files are written as the program writes them.
    struct sigaction sa{};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    ombrix::IgnoreBrokenPipe();

    ombrix::SteadyClock clock;
    ombrix::SystemDeviceOpener devices;
    ombrix::DlLibraryLoader libraries;
    ombrix::cli::CliPorts ports;
    ports.clock = &clock;
    ports.devices = &devices;
    ports.libraries = &libraries;
    ports.out = &std::cout;
    ports.err = &std::cerr;
    ports.stdinIsTerminal = isatty(0) != 0;
    ports.interrupted = &g_interrupted;
    // A shell tool works where it is started; --workdir runs it as if started in the
    // folder the program keeps its files in.
    const ombrix::WorkFolderChoice folder = ombrix::ChooseWorkFolder(
        std::vector<std::string>(argv + 1, argv + argc), ombrix::ExecutableDirectory(),
        [](const char*) -> const char* { return nullptr; });
    if (!folder.error.empty()) {
        std::cerr << "ombrix-cli: " << folder.error << "\n";
        return 2;
    }
    if (!folder.remainingArgs.empty() && folder.remainingArgs[0] == "--version") {
        std::cout << "ombrix-cli " OMBRIX_VERSION "\n";
        return 0;
    }
    ombrix::SysError folderError;
    if (!ombrix::EnterWorkFolder(folder, &folderError)) {
        std::cerr << "ombrix-cli: cannot work in " << folder.directory << ": " << folderError.text << "\n";
        return 1;
    }
    // Descriptions missing here come from the per-user folder or the shipped data.
    ports.descriptionFolders =
        ombrix::DescriptionFallbackFolders(ombrix::ExecutableDirectory(), [](const char* n) { return std::getenv(n); });
    return ombrix::cli::RunCli(folder.remainingArgs, ports);
}
