#pragma once
// ombrix-server's host and HTTP side in-process, on the simulated bus of kThreeProjectors
// with a scaled clock, listening on a free loopback port (schedules served, never run); an
// HTTP client to drive it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "HttpServer.h"
#include "ServiceHost.h"
#include "SimBench.h"
#include "TempDir.h"
#include "app/Options.h"
#include "platform/Library.h"
#include "platform/SerialDevice.h"
#include "service/Scheduler.h"

namespace ombrix::testing {

struct BenchSettings {
    std::string token;
    uint32_t checkIntervalMs = 0;  // 0: no status reads within a test's time
    std::chrono::milliseconds lineWait = kLineWaitLimit;
    int searchLimit = 3;  // the search asks addresses 1 to this
    bool waitForSearch = true;
    // Done to the bus once the server holds the line, before its search begins.
    std::function<void(sim::SimBus&)> beforeSearch;
};

// (address, command byte) of each request frame the host sent.
inline std::vector<std::pair<int, int>> Requests(const sim::SimBus& bus) {
    std::vector<std::pair<int, int>> out;
    for (const auto& e : bus.Transcript()) {
        if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != 0x02) continue;
        const uint8_t offset = e.bytes[1];
        out.emplace_back(static_cast<uint8_t>(e.bytes[2] - offset), static_cast<uint8_t>(e.bytes[3] - offset));
    }
    return out;
}

class ServerBench {
public:
    explicit ServerBench(const BenchSettings& s = {}) {
        // As ombrix-server does: a client writing into a connection the server has closed
        // (a refused body) gets an error, not the signal.
        IgnoreBrokenPipe();
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(kThreeProjectors, &bus, &error)) << error;
        ProgramOptions o;
        o.searchLimit = s.searchLimit;
        o.rangeEnd = static_cast<uint8_t>(s.searchLimit);
        SourceEntry dome;
        dome.inputSlot = 42;
        dome.SetName("Dome [42]");
        o.sources.push_back(dome);
        EXPECT_TRUE(WriteOptionsFile("options.cfg", o, nullptr));
        // A user group with a member that is not on the bus (9), in the operator's order.
        std::ofstream("groups.json") << R"({"version": 1, "groups": [{"name": "Dome", "members": [3, 9, 1]}]})";
        server::HostOptions options;
        // A day of scaled time: no round of reads disturbs the test unless asked for.
        options.checkIntervalMs = s.checkIntervalMs ? s.checkIntervalMs : 86400u * 1000u;
        options.lineWait = s.lineWait;
        host = std::make_unique<server::ServiceHost>(server::HostPorts{&clock, &opener, &libraries, &hostLog},
                                                     options);
        std::string why;
        started = host->Open(&why);
        EXPECT_TRUE(started) << why;
        server::HttpOptions httpOptions;
        httpOptions.token = s.token;
        httpOptions.log = &httpLog;
        http = std::make_unique<server::HttpServer>(*host, httpOptions);
        http->ServeSchedules(scheduler, "schedules.json");
        std::string bindError;
        EXPECT_TRUE(http->Bind("127.0.0.1", 0, &bindError)) << bindError;
        serving = std::thread([this] { http->Serve(); });
        // Serving first, then the search, as ombrix-server starts.
        if (s.beforeSearch) s.beforeSearch(bus);
        started = started && host->Search();
        for (int i = 0; s.waitForSearch && i < 6000 && host->Searching(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        client = std::make_unique<httplib::Client>("127.0.0.1", http->Port());
        client->set_read_timeout(std::chrono::seconds(20));
        // Serve() listens on its own thread: ready once a request is answered.
        for (int i = 0; i < 200 && !client->Get("/healthz"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~ServerBench() {
        client.reset();
        http->Stop();
        serving.join();
        host->Stop();
    }

    httplib::Result Post(const std::string& path, const std::string& body,
                         const std::string& type = "application/json") {
        return client->Post(path.c_str(), body, type.c_str());
    }

    TempDir dir;
    // Slow enough that a loaded machine does not make a reply look late.
    ScaledClock clock{10.0};
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    DlLibraryLoader libraries;
    // Serves the schedule routes; its runs are never due within a test.
    Scheduler scheduler{clock, [](const ScheduleEntry&) { return ScheduleOutcome{}; }, [](const ScheduleRunReport&) {},
                        [](const std::string&) {}};
    std::ostringstream hostLog, httpLog;
    std::unique_ptr<server::ServiceHost> host;
    std::unique_ptr<server::HttpServer> http;
    std::thread serving;
    std::unique_ptr<httplib::Client> client;
    bool started = false;
};

}  // namespace ombrix::testing
