#pragma once
// The program's one serial line: its settings, the open device, who holds it open, the
// bus lock, and the byte primitives the frame protocol is built on.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/BusLock.h"
#include "link/CommSettings.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/SerialDevice.h"

namespace ombrix {

// Each owner opens and closes the line for itself; the line stays open while any holds it.
enum LineOwner : unsigned {
    kOwnerCommWindow = 1u << 0,
    kOwnerRemoteControl = 1u << 1,
    kOwnerTool = 1u << 2,
};

struct Link {
    Link(Clock& c, DeviceOpener& o) : clock(c), opener(o) {
        // A line lent by the service is asked for each time this program takes it.
        lock.SetTurnHook([this](bool take) { return device ? device->Lease(take) : true; });
    }

    Clock& clock;
    DeviceOpener& opener;
    CommSettings settings;
    uint8_t currentAddress = kDefaultCurrentAddress;
    ComPortMap portMap;
    // When set, used instead of the COM mapping (the command-line tool's --device).
    std::string deviceOverride;

    // A line the service holds is used through its seat; the service itself never sits
    // at another's seat (a second service on a line is refused as busy).
    bool seatAllowed = true;
    // Who this program is, as a service shows its seat.
    std::string seatProgram;

    std::unique_ptr<SerialDevice> device;
    unsigned owners = 0;
    SysError lastError;
    std::string openedPath;

    BusLock lock;
    // Set while a remote-control key repeats: the check stays off the line.
    std::atomic<bool> repeatActive{false};
    // Set to call the background check's commands off.
    std::atomic<bool> backgroundStop{false};
    // Told of every finished exchange (its result 0-3 and how long it held the line, in
    // clock milliseconds), on whichever thread ran it. Set before any thread starts.
    std::function<void(int result, uint64_t ms)> exchangeObserver;
    // The byte that came where an acknowledgement belonged in the last exchange, -1 when
    // none did: the failure's message names it.
    std::atomic<int> strayReply{-1};
    // Set while the line does not fall quiet before a request (a device that keeps
    // talking): nothing heard on it can be trusted.
    std::atomic<bool> unquiet{false};
    // Bytes thrown away unread before requests and data runs: replies that came too late,
    // doubled acknowledgements, noise.
    std::atomic<uint64_t> discardedBytes{0};
    // The byte that came for the last exchange after its time-out, and how many ms after
    // its request; -1 when none did.
    std::atomic<int> lateReply{-1};
    std::atomic<int> lateReplyMs{-1};
    // Until this tick a reply to an earlier question that went unacknowledged may still
    // come: a command whose success rests on a bare acknowledgement waits it out first.
    std::atomic<uint64_t> lateReplyUntil{0};
    // Set once the open line's loss, or its never falling quiet, has been told: one
    // trouble is told once, however many exchanges fail on it.
    std::atomic<bool> lossTold{false};
    std::atomic<bool> unquietTold{false};
};

// The device path that SetupConnection will open for the current settings.
std::string ConnectionPath(const Link& link);

int SetupConnection(const Env& env, Link& link, unsigned owner);
int CloseConnection(Link& link, unsigned owner);
int CloseConnectionAll(Link& link);
int IsConnected(const Link& link);

int PutByte(Link& link, uint8_t b);
int PutBytes(Link& link, const uint8_t* data, size_t n);
uint8_t GetByte(Link& link);
// Discards waiting input, counting it in discardedBytes; 0 when the line did not fall
// quiet within kFlushLimitMs.
int FlushInput(Link& link);
int WaitForBytes(Link& link, uint32_t timeoutMs, int count);

constexpr uint32_t kFlushLimitMs = 200;
constexpr uint32_t kFlushQuietMs = 20;

// 1 when the open line has gone: hang-up, closed connection, unplugged adapter.
int LineLost(Link& link);
// LineLost from a thread that shares the line with another (the server's owner and its
// status reader): asking reads the device, so it is done under the bus lock, between
// exchanges, never inside another thread's. A background caller stopped meanwhile gets 0.
int LineLostShared(Link& link, bool background);
// "COM2 (/dev/ttyS1)", or the device path given instead of a COM port.
std::string LineName(const Link& link);
// "The line COM2 (/dev/ttyS1) was lost."
std::string LineLostText(const Link& link);
// "The line COM2 (/dev/ttyS1) never falls quiet: ..."
std::string LineUnquietText(const Link& link);
// Why the last SetupConnection failed, naming the port, its device and the reason.
std::string OpenFailureText(const Link& link);

}  // namespace ombrix
