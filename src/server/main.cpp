#include <pthread.h>
#include <signal.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "Automation.h"
#include "HttpServer.h"
#include "ServerOptions.h"
#include "ServiceHost.h"
#include "app/WorkFolder.h"
#include "platform/Library.h"
#include "platform/SerialDevice.h"

namespace {
constexpr std::chrono::seconds kStopLimit{5};
}

int main(int argc, char** argv) {
    using namespace ombrix;
    using namespace ombrix::server;
    // SIGTERM and SIGINT are taken by sigwait below, on this thread; every thread started
    // from here on inherits the blocked mask, so none of them is interrupted by one.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    IgnoreBrokenPipe();

    const WorkFolderChoice folder = ChooseWorkFolder(std::vector<std::string>(argv + 1, argv + argc),
                                                     ExecutableDirectory(),
                                                     [](const char*) -> const char* { return nullptr; });
    if (!folder.error.empty()) {
        std::cerr << "ombrix-server: " << folder.error << "\n";
        return 2;
    }
    ServerOptions options;
    std::string why;
    if (!ParseServerArgs(folder.remainingArgs, &options, &why)) {
        std::cerr << "ombrix-server: " << why << "\nTry 'ombrix-server --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << ServerUsage();
        return 0;
    }
    if (!ListenAllowed(options, &why)) {
        std::cerr << "ombrix-server: " << why << "\n";
        return 2;
    }
    std::string token;
    if (!options.tokenFile.empty() && !ReadTokenFile(options.tokenFile, &token, &why)) {
        std::cerr << "ombrix-server: " << why << "\n";
        return 2;
    }
    if (!options.tokenFile.empty()) {
        const std::string warning = TokenFileWarning(options.tokenFile);
        if (!warning.empty()) std::cerr << "ombrix-server: " << warning << std::endl;
    }
    SysError folderError;
    std::vector<std::string> madeFolders;
    if (!EnterWorkFolderUnseeded(folder, &madeFolders, &folderError)) {
        std::cerr << "ombrix-server: cannot work in " << folder.directory << ": " << folderError.text << "\n";
        return 1;
    }

    SteadyClock clock;
    SystemDeviceOpener devices;
    DlLibraryLoader libraries;
    HostPorts ports{&clock, &devices, &libraries, &std::cerr};
    HostOptions hostOptions;
    hostOptions.device = options.device;
    hostOptions.baud = options.baud;
    hostOptions.descriptionFolders =
        DescriptionFallbackFolders(ExecutableDirectory(), [](const char* n) { return std::getenv(n); });
    hostOptions.checkIntervalMs = static_cast<uint32_t>(options.checkInterval * 1000);
    // Everything is checked and the port is served before the search, which may take
    // minutes: meanwhile /healthz answers and a SIGTERM is acted on at once.
    ServiceHost host(ports, hostOptions);
    if (!host.Open(&why)) {
        std::cerr << "ombrix-server: " << why << "\n";
        RemoveCreatedFolders(madeFolders);
        return 1;
    }
    SeedWorkFolder(folder);
    Automation automation(host, clock, &std::cerr);
    if (!automation.Start(options.mqtt, &why)) {
        std::cerr << "ombrix-server: " << why << "\n";
        host.Stop();
        return 2;
    }
    HttpOptions httpOptions{token, &std::cerr, options.allowHosts, {}};
    httpOptions.limits.maxStreams = static_cast<size_t>(options.maxStreams);
    HttpServer http(host, httpOptions);
    http.ServeSchedules(automation.Schedules(), automation.SchedulesPath());
    if (!http.Bind(options.host, options.port, &why)) {
        std::cerr << "ombrix-server: cannot listen on " << options.host << ":" << options.port << ": " << why << "\n";
        automation.Stop();
        host.Stop();
        return 2;
    }
    std::cerr << "listening on http://" << (options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host)
              << ":" << http.Port() << "/" << (token.empty() ? "" : " (token required)") << std::endl;
    std::thread serving([&] { http.Serve(); });
    host.Search();

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cerr << "stopping on " << (signal == SIGTERM ? "SIGTERM" : "SIGINT") << std::endl;
    // Whatever a client does, the service is gone well before a service manager's patience.
    std::thread([] {
        std::this_thread::sleep_for(kStopLimit);
        std::cerr << "ombrix-server: not stopped within " << kStopLimit.count() << " s; leaving now" << std::endl;
        _exit(1);
    }).detach();
    // New requests are refused at once; queued commands are dropped, the running exchange
    // ends, the line closes and the files are saved; then the last connections close.
    http.BeginStop();
    automation.Stop();
    host.Stop();
    http.Stop();
    serving.join();
    return 0;
}
