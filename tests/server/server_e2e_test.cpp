// The whole ombrix-server over a pseudo-terminal served by ombrix-sim, driven by an HTTP
// client, as an installer would check it from outside.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "../support/Processes.h"
#include "../support/TempDir.h"
#include "EventReader.h"
#include "app/Options.h"

namespace ombrix::server_e2e {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;
using testing::FreePort;

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t Spawn(const std::vector<std::string>& argv, const char* out) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out, "w", stdout)) _exit(126);
        if (!freopen(out, "a", stderr)) _exit(126);
        if (!freopen("/dev/null", "r", stdin)) _exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Exit status of pid, waiting at most `limit`; -1 when it is still running.
int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(20ms);
    }
    return -1;
}

std::string Bin(const char* name) { return std::string(OMBRIX_BIN_DIR) + "/" + name; }

class ServerOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        // The quick search: absent addresses cost a short time-out, not the full one; with
        // a margin, as a loaded machine answers the short probe late.
        std::ofstream("quicksearch.cfg") << "quick-search = on\nmargin-ms = 200\n";
        sim_ = Spawn({Bin("ombrix-sim"), "--bus", std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg", "--pty", "--link",
                      "tty", "--control", "ctl"},
                     "sim.out");
        for (int i = 0; i < 100 && access("ctl", F_OK) != 0; ++i) std::this_thread::sleep_for(20ms);
        port_ = FreePort();
    }
    void TearDown() override {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            if (WaitExit(server_, 20s) < 0) {
                kill(server_, SIGKILL);
                waitpid(server_, nullptr, 0);
            }
        }
        kill(sim_, SIGTERM);
        waitpid(sim_, nullptr, 0);
    }
    void Control(const std::string& line) { std::ofstream("ctl") << line << '\n'; }
    // Starts the server and waits until it answers and its search has ended.
    bool StartServer(std::vector<std::string> extra = {}) {
        std::vector<std::string> argv{Bin("ombrix-server"), "--workdir", dir_.Path(), "--device", "tty",
                                      "--listen", "127.0.0.1:" + std::to_string(port_), "--check-interval", "3"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        server_ = Spawn(argv, "server.out");
        httplib::Client c("127.0.0.1", port_);
        const auto end = std::chrono::steady_clock::now() + 120s;
        while (std::chrono::steady_clock::now() < end) {
            const auto r = c.Get("/healthz");
            if (r && r->status == 200 && json::parse(r->body)["line"] != "searching") return true;
            if (WaitExit(server_, 0ms) >= 0) return false;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    testing::TempDir dir_;
    pid_t sim_ = -1;
    pid_t server_ = -1;
    int port_ = 0;
};

json Listed(httplib::Client& c, int address) {
    const auto r = c.Get("/api/v1/projectors");
    if (!r) return json();
    const json list = json::parse(r->body);
    for (const json& p : list["projectors"])
        if (p["address"] == address) return p;
    return json();
}

TEST_F(ServerOverPty, ServesTheBusAndReportsALostProjector) {
    ASSERT_TRUE(StartServer()) << Slurp("server.out");
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(30s);
    auto r = c.Get("/api/v1/projectors");
    ASSERT_TRUE(r);
    json list = json::parse(r->body);
    std::vector<int> addresses;
    for (const json& p : list["projectors"]) addresses.push_back(p["address"]);
    EXPECT_EQ(addresses, (std::vector<int>{1, 4, 7, 12}));

    const std::string metrics = c.Get("/metrics")->body;
    for (int a : addresses)
        EXPECT_NE(metrics.find("ombrix_projector_up{address=\"" + std::to_string(a) + "\""), std::string::npos) << a;

    // Power off goes to projector 4 only; in standby it keeps its model.
    const json awake = Listed(c, 4);
    r = c.Post("/api/v1/projectors/4/power", R"({"on":false})", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    list = json::parse(c.Get("/api/v1/projectors")->body);
    for (const json& p : list["projectors"])
        EXPECT_EQ(p["state"], p["address"] == 4 || p["address"] == 7 ? "StandBy" : "Operating") << p.dump();
    const json asleep = Listed(c, 4);
    EXPECT_EQ(asleep["model"], awake["model"]) << asleep.dump();
    EXPECT_EQ(asleep["version"], awake["version"]);
    EXPECT_EQ(asleep["serial"], awake["serial"]);
    EXPECT_EQ(asleep["standby"], true);

    // Bad requests: 4xx with a JSON error, and the line untouched (projector 1 stays on).
    for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/api/v1/projectors/999/power", R"({"on":false})"},
             {"/api/v1/projectors/1/power", R"({"on":fa)"},
             {"/api/v1/projectors/1/power", std::string(2 * 1024 * 1024, ' ')}}) {
        r = c.Post(path.c_str(), body, "application/json");
        ASSERT_TRUE(r);
        EXPECT_GE(r->status, 400);
        EXPECT_LT(r->status, 500);
        EXPECT_TRUE(json::parse(r->body, nullptr, false).contains("error")) << r->body;
    }
    EXPECT_EQ(json::parse(c.Get("/api/v1/projectors")->body)["projectors"][0]["state"], "Operating");

    // Back on: no event after the command says standby, although the reads go on
    // through the wake-up.
    testing::EventReader events(port_);
    ASSERT_GE(events.WaitFor([](const json& e) { return e["event"] == "snapshot"; }, 10s), 0);
    r = c.Post("/api/v1/projectors/4/power", R"({"on":true})", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    const int command =
        events.WaitFor([](const json& e) { return e["event"] == "command" && e.value("address", 0) == 4; }, 10s);
    ASSERT_GE(command, 0);

    // Projector 12 stops answering: lost, and still listed with what it was.
    Control("power 12 off");
    const int lost =
        events.WaitFor([](const json& e) { return e["event"] == "lost" && e.value("address", 0) == 12; }, 40s);
    ASSERT_GE(lost, 0) << Slurp("server.out");
    EXPECT_EQ(Listed(c, 12)["lost"], true);
    const auto all = events.Events();
    for (size_t i = static_cast<size_t>(command); i < all.size(); ++i) {
        if (all[i].value("address", 0) == 4 && all[i].contains("projector")) {
            EXPECT_NE(all[i]["projector"]["state"], "StandBy") << all[i].dump();
        }
    }

    // It answers again: found without a restart, within one round of reads.
    Control("power 12 on");
    ASSERT_GE(events.WaitFor([](const json& e) { return e["event"] == "found" && e.value("address", 0) == 12; }, 30s,
                             static_cast<size_t>(lost)),
              0)
        << Slurp("server.out");
    EXPECT_EQ(Listed(c, 12)["lost"], false);
    EXPECT_EQ(Listed(c, 12)["state"], "Operating");

    // SIGTERM ends it like the window's Exit: files saved, exit 0.
    kill(server_, SIGTERM);
    EXPECT_EQ(WaitExit(server_, 20s), 0) << Slurp("server.out");
    server_ = -1;
    EXPECT_NE(Slurp("server.out").find("line closed, files saved"), std::string::npos);
}

// A search over 1-255 asked the ordinary way takes many minutes: the server answers
// from its first second, lists what it has found, and ends at once on SIGTERM.
TEST_F(ServerOverPty, AnswersAtOnceWhileALongSearchRuns) {
    std::ofstream("quicksearch.cfg") << "quick-search = off\n";
    ProgramOptions o;
    o.searchLimit = 255;
    o.rangeStart = 1;
    o.rangeEnd = 255;
    ASSERT_TRUE(WriteOptionsFile("options.cfg", o, nullptr));
    const auto start = std::chrono::steady_clock::now();
    server_ = Spawn({Bin("ombrix-server"), "--workdir", dir_.Path(), "--device", "tty", "--listen",
                     "127.0.0.1:" + std::to_string(port_)},
                    "server.out");
    httplib::Client c("127.0.0.1", port_);
    auto health = c.Get("/healthz");
    while (!health && std::chrono::steady_clock::now() - start < 10s) {
        std::this_thread::sleep_for(20ms);
        health = c.Get("/healthz");
    }
    ASSERT_TRUE(health) << Slurp("server.out");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(json::parse(health->body)["line"], "searching");
    const auto found = std::chrono::steady_clock::now() + 30s;
    while (Listed(c, 4).is_null() && std::chrono::steady_clock::now() < found) std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Listed(c, 4)["state"], "Operating");
    const auto r = c.Post("/api/v1/projectors/4/key", R"({"code":27})", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 503);
    EXPECT_EQ(r->get_header_value("Retry-After"), "5");
    const auto stop = std::chrono::steady_clock::now();
    kill(server_, SIGTERM);
    EXPECT_EQ(WaitExit(server_, 10s), 0) << Slurp("server.out");
    EXPECT_LT(std::chrono::steady_clock::now() - stop, 4s);
    server_ = -1;
}

TEST_F(ServerOverPty, RefusesAnOpenAddressWithoutAToken) {
    server_ = Spawn({Bin("ombrix-server"), "--workdir", dir_.Path(), "--device", "tty", "--listen",
                     "0.0.0.0:" + std::to_string(port_)},
                    "server.out");
    EXPECT_EQ(WaitExit(server_, 10s), 2);
    server_ = -1;
    EXPECT_NE(Slurp("server.out").find("--token-file"), std::string::npos) << Slurp("server.out");
}

TEST_F(ServerOverPty, WithATokenARequestWithoutItIsRefused) {
    std::ofstream("token") << "tok-123\n";
    ASSERT_TRUE(StartServer({"--token-file", "token"})) << Slurp("server.out");
    httplib::Client c("127.0.0.1", port_);
    auto r = c.Get("/api/v1/projectors");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401);
    r = c.Get("/api/v1/projectors", {{"Authorization", "Bearer tok-123"}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
}

// A server that cannot have its line does not run, and leaves no trace of having tried:
// no work folder made, nothing written into one that is there.
TEST_F(ServerOverPty, AServerWithoutItsLineWritesNothing) {
    struct Case {
        const char* label;
        bool folderThere;
    };
    const Case cases[] = {{"a fresh folder, made for it", true}, {"a folder not there yet", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string work = dir_.Path() + "/" + (c.folderThere ? "made" : "absent") + "/work";
        if (c.folderThere) std::filesystem::create_directories(work);
        const pid_t server = Spawn({Bin("ombrix-server"), "--workdir", work, "--device", dir_.Path() + "/no-such-tty",
                                    "--listen", "127.0.0.1:" + std::to_string(FreePort())},
                                   "nowhere.out");
        EXPECT_EQ(WaitExit(server, 20s), 1) << Slurp("nowhere.out");
        EXPECT_NE(Slurp("nowhere.out").find("no-such-tty"), std::string::npos) << Slurp("nowhere.out");
        if (c.folderThere) {
            EXPECT_TRUE(std::filesystem::is_empty(work));
        } else {
            EXPECT_FALSE(std::filesystem::exists(dir_.Path() + "/absent"));
        }
    }
}

TEST_F(ServerOverPty, ASecondHolderOfTheLineIsTurnedAway) {
    ASSERT_TRUE(StartServer()) << Slurp("server.out");
    const pid_t second = Spawn({Bin("ombrix-server"), "--workdir", dir_.Path(), "--device", "tty", "--listen",
                                "127.0.0.1:" + std::to_string(FreePort())},
                               "second.out");
    EXPECT_EQ(WaitExit(second, 20s), 1);
    EXPECT_NE(Slurp("second.out").find("busy"), std::string::npos) << Slurp("second.out");
}

}  // namespace
}  // namespace ombrix::server_e2e
