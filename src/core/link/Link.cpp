#include "link/Link.h"

#include <algorithm>
#include <cstring>

#include "link/Frame.h"
#include "link/SeatLine.h"
#include "link/SeatWire.h"
#include "projector/Messages.h"

namespace ombrix {

std::string ConnectionPath(const Link& link) {
    if (!link.deviceOverride.empty()) return link.deviceOverride;
    return link.portMap.Resolve(link.settings.port);
}

namespace {

// Error 3 with what a person can act on: the port, its device and the system's reason.
void ShowOpenFailure(const Env& env, const Link& link) {
    std::string caption, text;
    if (env.ui && ErrorBoxText(env, 3, &caption, &text)) {
        env.ui->ShowBox(caption, text + "\n" + OpenFailureText(link), BoxIcon::Stop);
    }
}

}  // namespace

int SetupConnection(const Env& env, Link& link, unsigned owner) {
    if (link.device) {
        // Already open for another owner: share it rather than lose it.
        link.owners |= owner;
        return 1;
    }
    SysError error;
    if (link.deviceOverride.empty() && link.portMap.Refused(link.settings.port)) {
        link.lastError = MakeSysError(SysErrorCode::Other, "");
        link.lastError.text = link.portMap.RefusalText(link.settings.port);
        ShowOpenFailure(env, link);
        return 0;
    }
    const std::string path = ConnectionPath(link);
    // Where a service holds the line, its seat is the way onto it; a seat's socket left
    // by a service that died answers nobody, and the line is opened as ever.
    std::unique_ptr<SerialDevice> device;
    if (IsServerUrl(path)) {
        if (link.seatAllowed) device = OpenServerSeat(path, ThisProcessSeat(link.seatProgram), &error);
        if (!device && !error) error = MakeSysError(SysErrorCode::InvalidName, path);
    } else {
        if (link.seatAllowed) device = OpenSeat(SeatSocketPath(path), ThisProcessSeat(link.seatProgram), &error);
        if (!device && !error) device = link.opener.Open(path, &error);
    }
    if (!device) {
        link.lastError = error;
        ShowOpenFailure(env, link);
        return 0;
    }
    LineSettings ls;
    ls.baudRate = link.settings.baudRate;
    ls.dataBits = link.settings.dataBits;
    ls.parity = link.settings.parity;
    ls.stopBits = link.settings.stopBits;
    ls.flowControl = link.settings.flowControl;
    if (!device->Configure(ls, &error)) {
        link.lastError = error;
        if (env.ui) {
            env.ui->ShowBox("Projector RS232", "Connection Failed. (in SetupConnection)\n" + OpenFailureText(link),
                            BoxIcon::Exclamation);
        }
        link.settings.connected = 0;
        return 0;
    }
    device->ResetDevice();
    const uint32_t quiet = std::min(device->QuietLeft(), kLateReplyMaxMs);
    link.device = std::move(device);
    link.openedPath = path;
    link.owners = owner;
    link.settings.connected = 1;
    link.lastError = SysError{};
    link.lossTold = false;
    // The program that held the line before left a request unanswered: what is left of
    // its time passes before our first request, so its late reply cannot pass for ours.
    if (quiet > 0) {
        link.lateReplyUntil = std::max(link.lateReplyUntil.load(), link.clock.TickMs() + quiet);
        AwaitLateReplies(link);
    }
    return 1;
}

int CloseConnection(Link& link, unsigned owner) {
    link.owners &= ~owner;
    if (link.owners == 0) CloseConnectionAll(link);
    return 1;
}

int CloseConnectionAll(Link& link) {
    if (link.device) {
        HandOverLateReplies(link);
        link.device->SetDtr(false);
        link.device->Purge();
        link.device.reset();
    }
    link.owners = 0;
    link.settings.connected = 0;
    link.settings.portHandle = 0;
    link.openedPath.clear();
    return 1;
}

int IsConnected(const Link& link) { return link.settings.connected ? 1 : 0; }

int PutByte(Link& link, uint8_t b) {
    if (link.device) link.device->PutByte(b);
    return 1;
}

int PutBytes(Link& link, const uint8_t* data, size_t n) {
    if (link.device) link.device->PutBytes(data, n);
    return 1;
}

uint8_t GetByte(Link& link) {
    if (!link.device) return 0;
    const int b = link.device->GetByte();
    return b < 0 ? 0 : static_cast<uint8_t>(b);
}

int FlushInput(Link& link) {
    if (!link.device) return 1;
    // Bounded, so a device that keeps talking cannot hold the exchange: it then fails.
    // Once something had to be discarded, the line must also stay quiet a moment, or a
    // talker sending byte by byte would pass for a quiet line between two bytes.
    SerialDevice& d = *link.device;
    const uint64_t deadline = link.clock.TickMs() + kFlushLimitMs;
    size_t discarded = 0;
    for (;;) {
        int waiting = d.InputCount();
        if (waiting <= 0 && discarded > 0) {
            const uint64_t quietUntil = link.clock.TickMs() + kFlushQuietMs;
            for (uint64_t now = link.clock.TickMs(); waiting <= 0 && now < quietUntil && !d.LineDropped();
                 now = link.clock.TickMs()) {
                d.WaitInput(static_cast<uint32_t>(quietUntil - now));
                waiting = d.InputCount();
            }
        }
        if (waiting <= 0) {
            link.unquiet = false;
            link.unquietTold = false;
            return 1;
        }
        if (discarded > 2 * kInputQueueSize || link.clock.TickMs() >= deadline) {
            link.unquiet = true;
            return 0;
        }
        for (int i = 0; i < waiting; ++i) d.GetByte();
        discarded += static_cast<size_t>(waiting);
        link.discardedBytes += static_cast<uint64_t>(waiting);
    }
}

int LineLost(Link& link) { return link.device && link.device->LineDropped() ? 1 : 0; }

int LineLostShared(Link& link, bool background) {
    if (background) {
        if (!link.lock.AcquireBackground(&link.backgroundStop)) return 0;
        const int lost = LineLost(link);
        link.lock.ReleaseBackground();
        return lost;
    }
    link.lock.AcquireForeground();
    const int lost = LineLost(link);
    link.lock.ReleaseForeground(link.lock.Held());
    return lost;
}

std::string LineName(const Link& link) {
    const std::string path = link.device ? link.openedPath : ConnectionPath(link);
    if (!link.deviceOverride.empty()) return path;
    return ComPortName(link.settings.port) + " (" + path + ")";
}

std::string LineLostText(const Link& link) { return "The line " + LineName(link) + " was lost."; }

std::string LineUnquietText(const Link& link) {
    return "The line " + LineName(link) + " never falls quiet: something on it keeps sending, so no answer can be told apart.";
}

std::string OpenFailureText(const Link& link) {
    if (!link.device && link.deviceOverride.empty() && link.portMap.Refused(link.settings.port)) {
        return link.portMap.RefusalText(link.settings.port) + ".";
    }
    std::string text = "Cannot open " + LineName(link);
    if (!link.lastError) return text + ".";
    text += ": ";
    switch (link.lastError.code) {
        case SysErrorCode::NotFound: text += "no such device"; break;
        case SysErrorCode::Busy: text += "busy, held by another program"; break;
        case SysErrorCode::Refused:
            if (!link.lastError.osError) {
                text += "the server's seat refused: " + link.lastError.text;
                break;
            }
            text += SysErrorCodeName(link.lastError.code);
            text += std::string(" (") + std::strerror(link.lastError.osError) + ")";
            break;
        case SysErrorCode::Permission:
            text += "permission denied (join the 'dialout' group, then log in again)";
            break;
        default:
            text += SysErrorCodeName(link.lastError.code);
            if (link.lastError.osError) text += std::string(" (") + std::strerror(link.lastError.osError) + ")";
            break;
    }
    return text + ".";
}

int WaitForBytes(Link& link, uint32_t timeoutMs, int count) {
    if (!link.device) return 0;
    const uint64_t deadline = link.clock.TickMs() + timeoutMs;
    for (;;) {
        const int waiting = link.device->InputCount();
        const uint64_t now = link.clock.TickMs();
        if (waiting >= count) return now < deadline ? 1 : 0;
        // Nothing more can come on a dropped line: fail now instead of spinning.
        if (link.device->LineDropped()) return 0;
        if (now >= deadline) return 0;
        link.device->WaitInput(static_cast<uint32_t>(std::min<uint64_t>(deadline - now, 1000)));
    }
}

}  // namespace ombrix
