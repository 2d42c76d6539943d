#pragma once
// The service lends the line it holds to the programs of the machine: each connects to a
// seat (a UNIX socket beside the line's lock) and asks for the line for each of its
// exchanges. A lease takes the service's bus lock like any command of its own, so the
// status reader and the service's commands wait, and nothing is interleaved on the wire.
// A lease ends when the seat gives it back, leaves, falls quiet, or reaches the cap.
// Only whole request frames (and the data run a block write announces) reach the line.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/Link.h"
#include "link/SeatWire.h"

namespace ombrix {

struct SeatHostOptions {
    uint32_t leaseCapMs = kSeatLeaseCapMs;
    uint32_t quietMs = kSeatQuietMs;
    size_t maxSeats = 16;
};

// A request a seat made that changed a projector, and that the projector acknowledged.
struct SeatChange {
    nlohmann::json seat;  // {"id", "program", "user", "host", "pid"}
    uint8_t address = 0;
    uint8_t command = 0;
    std::array<uint8_t, 4> parameters{};
};

struct SeatCounts {
    uint64_t exchanges = 0;  // request frames written for seats
    uint64_t leases = 0;
    uint64_t refused = 0;    // writes that were not whole frames, or came outside a lease
    uint64_t seats = 0;      // at a seat now
};

class SeatHost {
public:
    struct Hooks {
        // On the seat's thread, once its lease has ended: the service publishes it.
        std::function<void(const SeatChange&)> changed;
        // On the seat's thread, while it holds the line, the moment a request that may
        // change a projector is written: readings begun before it are stale.
        std::function<void(uint8_t address)> touched;
        std::function<void(const std::string&)> log;
    };

    SeatHost(Link& link, SeatHostOptions options, Hooks hooks);
    ~SeatHost();
    SeatHost(const SeatHost&) = delete;
    SeatHost& operator=(const SeatHost&) = delete;

    // Makes the seat's socket (mode 0660) and starts taking seats; false with why. A
    // socket left at the path by a service that died is replaced; any other file is left.
    bool Listen(const std::string& socketPath, std::string* why);
    // Seats over TCP for programs on other machines (ombrix://HOST:PORT); with a token,
    // a seat's greeting must carry it. After Listen; false with why.
    bool ListenTcp(const std::string& host, int port, const std::string& token, std::string* why);
    int TcpPort() const { return tcpPort_; }
    // Every seat is told and closed, a lease held ends; the socket is removed.
    void Stop();

    // {"socket", "lease_cap_seconds", "seats": [{"id", "program", "user", "host", "pid",
    //  "since", "exchanges", "lease_seconds" (while it holds the line)}]}
    nlohmann::json Json() const;
    SeatCounts Counts() const;

private:
    struct Seat;
    void AcceptLoop();
    void Serve(const std::shared_ptr<Seat>& seat);
    // False once it has told the seat why it is not welcome.
    bool Greet(Seat& seat, const SeatMessage& hello);
    // Holds the line for the seat until its lease ends; false when the seat is gone.
    bool Lend(Seat& seat);
    // With the line held: relays between the seat and the line until the lease ends; the
    // changes the projectors acknowledged go to *changes.
    bool Relay(Seat& seat, std::vector<SeatChange>* changes);
    void Log(const std::string& line);
    void ReapFinished();

    Link& link_;
    const SeatHostOptions options_;
    const Hooks hooks_;
    std::string path_;
    int listenFd_ = -1;
    // Set once while the acceptor runs: it looks at it after each wake-up.
    std::atomic<int> tcpFd_{-1};
    int tcpPort_ = 0;
    std::string token_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::list<std::shared_ptr<Seat>> seats_;
    int nextId_ = 1;
    std::atomic<uint64_t> exchanges_{0};
    std::atomic<uint64_t> leases_{0};
    std::atomic<uint64_t> refused_{0};
};

}  // namespace ombrix
