// The block routes and the history of ombrix-server as whole processes: the server on
// ombrix-sim's pseudo-terminal, an HTTP client and its event stream, and ombrix-cli on
// the same work folder while the server is stopped.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "../support/Processes.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

std::string Bin(const char* name) { return std::string(OMBRIX_BIN_DIR) + "/" + name; }

using testing::FreePort;
using testing::Spawn;

int Cli(const std::string& args, std::string* out) {
    const int raw = std::system((Bin("ombrix-cli") + " --device tty " + args + " > cli.out 2>&1").c_str());
    std::stringstream s;
    s << std::ifstream("cli.out").rdbuf();
    *out = s.str();
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The server on ./tty in this folder, with an event stream collected from the start.
class Server {
public:
    explicit Server(int port) : port_(port), client_("127.0.0.1", port) {
        pid_ = Spawn({Bin("ombrix-server"), "--workdir", ".", "--device", "tty", "--listen",
                      "127.0.0.1:" + std::to_string(port), "--check-interval", "600"},
                     "server.out");
        client_.set_read_timeout(60s);
        // It answers at once and searches meanwhile: the tests want the search done.
        for (int i = 0; i < 1200; ++i) {
            const auto r = client_.Get("/api/v1/projectors");
            const json list = r && r->status == 200 ? json::parse(r->body, nullptr, false) : json();
            if (list.is_object() && !list.value("searching", true)) break;
            std::this_thread::sleep_for(100ms);
        }
        events_ = std::thread([this] {
            httplib::Client c("127.0.0.1", port_);
            // A snapshot on a loaded machine outlasts the client's 5 s default between events.
            c.set_read_timeout(60s);
            c.Get("/api/v1/events", [this](const char* data, size_t n) {
                std::lock_guard lock(mutex_);
                stream_.append(data, n);
                return !stop_.load();
            });
        });
        // Subscribed once the stream's first message, the state, has come.
        Event("snapshot");
    }
    ~Server() {
        stop_ = true;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        events_.join();
    }
    httplib::Client& Http() { return client_; }
    // The data line of the first event of this kind, waiting a while for it.
    json Event(const std::string& kind) {
        for (int i = 0; i < 300; ++i) {
            {
                std::lock_guard lock(mutex_);
                std::istringstream in(stream_);
                std::string line;
                while (std::getline(in, line)) {
                    if (line.rfind("data: ", 0) != 0) continue;
                    const json e = json::parse(line.substr(6), nullptr, false);
                    if (e.is_object() && e.value("event", "") == kind) return e;
                }
            }
            std::this_thread::sleep_for(50ms);
        }
        return nullptr;
    }

private:
    int port_;
    pid_t pid_ = -1;
    httplib::Client client_;
    std::thread events_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string stream_;
};

json Body(const httplib::Result& r) { return r ? json::parse(r->body, nullptr, false) : json(); }

TEST(HistoryServer, SnapshotsBackupDriftAndRestoreOverTheApi) {
    testing::TempDir dir;
    for (const auto& e : std::filesystem::directory_iterator(OMBRIX_DATA_DIR)) {
        if (e.path().extension() == ".dsc") std::filesystem::copy_file(e.path(), e.path().filename());
    }
    std::ofstream("quicksearch.cfg") << "quick-search = on\n";
    const pid_t sim = Spawn({Bin("ombrix-sim"), "--bus", std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg", "--pty",
                             "--link", "tty"},
                            "sim.out");
    for (int i = 0; i < 250 && access("tty", F_OK) != 0; ++i) std::this_thread::sleep_for(20ms);
    const int port = FreePort();
    int first = 0;
    {
        Server server(port);
        auto& http = server.Http();
        auto r = http.Post("/api/v1/projectors/1/snapshot", R"({"note": "commissioned"})", "application/json");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << r->body;
        first = Body(r).value("snapshot", 0);
        EXPECT_EQ(Body(r).value("blocks", 0), 4);
        EXPECT_EQ(server.Event("snapshot taken").value("snapshot", -1), first);

        const json list = Body(http.Get("/api/v1/history"));
        ASSERT_EQ(list["snapshots"].size(), 1u) << list.dump();
        EXPECT_EQ(list["snapshots"][0]["note"], "commissioned");
        EXPECT_EQ(Body(http.Get("/api/v1/history?address=4"))["snapshots"].size(), 0u);
        EXPECT_EQ(Body(http.Get("/api/v1/history/" + std::to_string(first)))["blockList"].size(), 12u);
        EXPECT_EQ(http.Get("/api/v1/history/99")->status, 404);

        const json blocks = Body(http.Get("/api/v1/projectors/1/blocks"));
        ASSERT_EQ(blocks["blocks"].size(), 13u) << blocks.dump();  // the common block last
        EXPECT_EQ(blocks["blocks"][12]["special"], true);
        EXPECT_EQ(blocks["blocks"][0]["active"], true);

        r = http.Post("/api/v1/projectors/1/backup", "", "application/json");
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200) << r->body;
        std::ofstream("api.set", std::ios::binary) << r->body;
        const json verdict = Body(http.Post("/api/v1/projectors/1/verify", r->body, "application/octet-stream"));
        EXPECT_EQ(verdict["identical"], true) << verdict.dump();
    }
    // The settings file from the API is one the tool accepts.
    std::string out;
    EXPECT_EQ(Cli("verify api.set 1", &out), 0) << out;

    const int before = [&] {
        Cli("read-param 1 48 0", &out);
        std::smatch m;
        return std::regex_search(out, m, std::regex("value: (\\d+)")) ? std::stoi(m[1]) : -1;
    }();
    ASSERT_GE(before, 0) << out;
    const int step = before < 100 ? 3 : -3;
    ASSERT_EQ(Cli("write-param 1 48 0 " + std::to_string(step), &out), 0) << out;
    const std::string changed = "Brightness " + std::to_string(before) + " → " + std::to_string(before + step);
    {
        Server server(port);
        auto& http = server.Http();
        auto r = http.Post("/api/v1/projectors/1/snapshot", "", "application/json");
        ASSERT_TRUE(r);
        const int second = Body(r).value("snapshot", 0);
        EXPECT_EQ(Body(r)["drift"], true) << r->body;
        const json drift = server.Event("drift");
        ASSERT_TRUE(drift.is_object());
        EXPECT_EQ(drift["address"], 1);
        EXPECT_NE(drift["text"].get<std::string>().find(changed), std::string::npos) << drift.dump();

        const json diff = Body(http.Get("/api/v1/diff?from=" + std::to_string(first) + "&to=" + std::to_string(second)));
        ASSERT_EQ(diff["lines"].size(), 1u) << diff.dump();
        EXPECT_NE(diff["lines"][0].get<std::string>().find(changed), std::string::npos);

        r = http.Post("/api/v1/history/" + std::to_string(first) + "/restore", R"({"blocks": ["40 01 20 34"]})",
                      "application/json");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << r->body;
        EXPECT_GT(Body(r).value("before", 0), second);
        EXPECT_GT(Body(r).value("after", 0), Body(r).value("before", 0));
        // A page at a time, newest first: the next page starts below the last one listed.
        const json page = Body(http.Get("/api/v1/history?limit=2"));
        ASSERT_EQ(page["snapshots"].size(), 2u) << page.dump();
        const json rest = Body(http.Get("/api/v1/history?limit=2&before=" + std::to_string(page.value("next", 0))));
        ASSERT_EQ(rest["snapshots"].size(), 2u) << rest.dump();
        EXPECT_EQ(rest["snapshots"][1]["id"], first);
        EXPECT_FALSE(rest.contains("next"));
        EXPECT_EQ(http.Get("/api/v1/history?limit=0")->status, 400);
        const json now = Body(http.Get("/api/v1/diff?from=" + std::to_string(first) + "&to=live:1"));
        EXPECT_EQ(now["differ"], false) << now.dump();
        EXPECT_EQ(http.Post("/api/v1/history/" + std::to_string(first) + "/restore", R"({"blocks": ["00 00 00 00"]})",
                            "application/json")
                      ->status,
                  409);
    }
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
}

}  // namespace
}  // namespace ombrix
