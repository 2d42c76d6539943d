#include <pthread.h>
#include <signal.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "Automation.h"
#include "HttpServer.h"
#include "LogQueue.h"
#include "ServerOptions.h"
#include "ServiceHost.h"
#include "app/WorkFolder.h"
#include "link/CommSettings.h"
#include "platform/Library.h"
#include "platform/SerialDevice.h"
#include "service/HistoryService.h"

namespace {
constexpr std::chrono::seconds kStopLimit{5};

// A state line for the service manager over the socket it names (sd_notify's protocol);
// nothing without one.
void NotifyServiceManager(const char* state) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || (path[0] != '/' && path[0] != '@') || std::strlen(path) >= sizeof(sockaddr_un::sun_path)) return;
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, path, std::strlen(path));
    if (path[0] == '@') sa.sun_path[0] = '\0';
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + std::strlen(path));
    [[maybe_unused]] const ssize_t n =
        sendto(fd, state, std::strlen(state), MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa), len);
    close(fd);
}

// The watchdog interval the service manager asks for, when it asks this process.
std::chrono::milliseconds WatchdogInterval() {
    const char* usec = std::getenv("WATCHDOG_USEC");
    const char* pid = std::getenv("WATCHDOG_PID");
    if (!usec || (pid && std::strtol(pid, nullptr, 10) != getpid())) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(std::strtoll(usec, nullptr, 10) / 1000);
}
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
    if (!folder.remainingArgs.empty() && folder.remainingArgs[0] == "--version") {
        std::cout << "ombrix-server " OMBRIX_VERSION "\n";
        return 0;
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

    if (options.device.empty()) {
        CommSettings settings;
        uint8_t address = 0;
        std::string problem;
        LoadCommSettings(kCommFileName, &settings, &address, &problem);
        if (!problem.empty()) {
            std::cerr << "ombrix-server: " << CommFileRefusalText(problem) << ", or give --device\n";
            RemoveCreatedFolders(madeFolders);
            return 1;
        }
    }
    // From here on every line goes through the log's queue: a reader that stops reading
    // loses lines, never stalls the service.
    LogQueue logQueue(STDERR_FILENO);
    const auto hostLog = logQueue.NewStream(), automationLog = logQueue.NewStream(),
               httpLog = logQueue.NewStream(), mainLog = logQueue.NewStream();
    SteadyClock clock;
    SystemDeviceOpener devices;
    DlLibraryLoader libraries;
    HostPorts ports{&clock, &devices, &libraries, hostLog.get()};
    HostOptions hostOptions;
    hostOptions.device = options.device;
    hostOptions.baud = options.baud;
    hostOptions.descriptionFolders =
        DescriptionFallbackFolders(ExecutableDirectory(), [](const char* n) { return std::getenv(n); });
    hostOptions.checkIntervalMs = static_cast<uint32_t>(options.checkInterval * 1000);
    hostOptions.seatLeaseCapMs = static_cast<uint32_t>(options.seatLeaseSeconds * 1000);
    // Everything is checked and the port is served before the search, which may take
    // minutes: meanwhile /healthz answers and a SIGTERM is acted on at once.
    ServiceHost host(ports, hostOptions);
    if (!host.Open(&why)) {
        *mainLog << "ombrix-server: " << why << std::endl;
        RemoveCreatedFolders(madeFolders);
        return 1;
    }
    if (options.seatPort >= 0 && !host.ListenForRemoteSeats(options.seatHost, options.seatPort, token, &why)) {
        *mainLog << "ombrix-server: cannot take seats on " << options.seatHost << ":" << options.seatPort << ": " << why
                 << std::endl;
        host.Stop();
        return 2;
    }
    SeedWorkFolder(folder);
    // The block history is checked whole once here; requests then only read and write it.
    if (std::string said; !CheckHistoryStore(&why, &said)) {
        *mainLog << "ombrix-server: the block history cannot be used: " << why << std::endl;
    } else if (!said.empty()) {
        *mainLog << "ombrix-server: " << said << std::endl;
    }
    Automation automation(host, clock, automationLog.get());
    if (!automation.Start(options.mqtt, &why)) {
        *mainLog << "ombrix-server: " << why << std::endl;
        host.Stop();
        return 2;
    }
    HttpOptions httpOptions{token, httpLog.get(), options.allowHosts, {}};
    httpOptions.limits.maxStreams = static_cast<size_t>(options.maxStreams);
    HttpServer http(host, httpOptions);
    http.ServeSchedules(automation.Schedules(), automation.SchedulesPath());
    if (!http.Bind(options.host, options.port, &why)) {
        *mainLog << "ombrix-server: cannot listen on " << options.host << ":" << options.port << ": " << why
                 << std::endl;
        automation.Stop();
        host.Stop();
        return 2;
    }
    *mainLog << "listening on http://"
             << (options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host) << ":"
             << http.Port() << "/" << (token.empty() ? "" : " (token required)") << std::endl;
    std::thread serving([&] { http.Serve(); });
    host.Search();
    NotifyServiceManager("READY=1");

    // Under a service manager's watchdog, it is told the service lives only while a new
    // client gets an answer; a server that stops answering is restarted.
    const std::chrono::milliseconds watchdog = WatchdogInterval();
    int signal = 0;
    while (true) {
        if (watchdog.count() <= 0) {
            sigwait(&stopSignals, &signal);
            break;
        }
        const auto ping = watchdog / 3;
        timespec wait{static_cast<time_t>(ping.count() / 1000), static_cast<long>(ping.count() % 1000) * 1000000L};
        signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal > 0) break;
        if (http.SelfCheck(ping)) NotifyServiceManager("WATCHDOG=1");
    }
    NotifyServiceManager("STOPPING=1");
    *mainLog << "stopping on " << (signal == SIGTERM ? "SIGTERM" : "SIGINT") << std::endl;
    // Whatever a client does, the service is gone well before a service manager's patience.
    std::thread([] {
        std::this_thread::sleep_for(kStopLimit);
        const char text[] = "ombrix-server: not stopped within 5 s; leaving now\n";
        // Not waited for: the log's reader may be the one that is stuck.
        pollfd out{STDERR_FILENO, POLLOUT, 0};
        if (poll(&out, 1, 0) == 1) [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
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
