#pragma once
// A real broker for the tests: mosquitto on a free loopback port, started and stopped by
// the test, and a small client that collects what arrives. Every wait has a deadline.
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ombrix::testing {

inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

inline bool PortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Waits for pred with a deadline, polling every 10 ms.
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class Broker {
public:
    explicit Broker(const std::string& folder) : port_(FreeLoopbackPort()), folder_(folder) {
        conf_ = folder_ + "/mosquitto.conf";
        std::ofstream(conf_) << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    }
    ~Broker() { Stop(); }
    int Port() const { return port_; }

    bool Start() {
        pid_ = ::fork();
        if (pid_ == 0) {
            // The broker's log beside its configuration, opened before it drops privileges.
            const int log = ::open((folder_ + "/mosquitto.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (log >= 0) {
                ::dup2(log, 1);
                ::dup2(log, 2);
            }
            ::execlp("mosquitto", "mosquitto", "-c", conf_.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return WaitUntil([&] { return PortAccepts(port_); }, 5000);
    }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        if (!WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 5000)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

private:
    int port_;
    std::string folder_;
    std::string conf_;
    pid_t pid_ = -1;
};

struct Received {
    std::string topic;
    std::string payload;
    bool retained = false;
};

class TestClient {
public:
    explicit TestClient(int port) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* c = static_cast<TestClient*>(self);
            std::lock_guard lock(c->mutex_);
            c->messages_.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                          m->payload ? static_cast<size_t>(m->payloadlen) : 0),
                                    m->retain});
        });
        mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
            static_cast<TestClient*>(self)->connected_ = rc == 0;
        });
        mosquitto_connect(mosq_, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq_);
        WaitUntil([&] { return connected_.load(); }, 5000);
    }
    ~TestClient() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    bool Connected() const { return connected_; }
    void Subscribe(const std::string& pattern) { mosquitto_subscribe(mosq_, nullptr, pattern.c_str(), 1); }
    void Publish(const std::string& topic, const std::string& payload, bool retain = false) {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
    }
    std::vector<Received> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }
    // The last payload seen on a topic.
    bool Last(const std::string& topic, std::string* payload, bool* retained = nullptr) const {
        std::lock_guard lock(mutex_);
        for (auto it = messages_.rbegin(); it != messages_.rend(); ++it) {
            if (it->topic == topic) {
                *payload = it->payload;
                if (retained) *retained = it->retained;
                return true;
            }
        }
        return false;
    }
    bool WaitFor(const std::string& topic, const std::function<bool(const std::string&)>& pred, int timeoutMs,
                 std::string* payload = nullptr) {
        std::string p;
        const bool ok = WaitUntil([&] { return Last(topic, &p) && pred(p); }, timeoutMs);
        if (payload) *payload = p;
        return ok;
    }

private:
    mosquitto* mosq_ = nullptr;
    std::atomic<bool> connected_{false};
    mutable std::mutex mutex_;
    std::vector<Received> messages_;
};

}  // namespace ombrix::testing
