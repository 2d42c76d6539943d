#include "link/Link.h"

#include <algorithm>

#include "projector/Messages.h"

namespace ombrix {

std::string ConnectionPath(const Link& link) {
    if (!link.deviceOverride.empty()) return link.deviceOverride;
    return link.portMap.Resolve(link.settings.port);
}

int SetupConnection(const Env& env, Link& link, unsigned owner) {
    if (link.device) {
        // Already open for another owner: share it rather than lose it.
        link.owners |= owner;
        return 1;
    }
    const std::string path = ConnectionPath(link);
    SysError error;
    std::unique_ptr<SerialDevice> device = link.opener.Open(path, &error);
    if (!device) {
        link.lastError = error;
        ShowError(env, 3);
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
        if (env.ui) env.ui->ShowBox("Projector RS232", "Connection Failed. (in SetupConnection)", BoxIcon::Exclamation);
        link.settings.connected = 0;
        return 0;
    }
    device->ResetDevice();
    link.device = std::move(device);
    link.openedPath = path;
    link.owners = owner;
    link.settings.connected = 1;
    link.lastError = SysError{};
    return 1;
}

int CloseConnection(Link& link, unsigned owner) {
    link.owners &= ~owner;
    if (link.owners == 0) CloseConnectionAll(link);
    return 1;
}

int CloseConnectionAll(Link& link) {
    if (link.device) {
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

uint8_t GetByte(Link& link) {
    if (!link.device) return 0;
    const int b = link.device->GetByte();
    return b < 0 ? 0 : static_cast<uint8_t>(b);
}

int FlushInput(Link& link) {
    if (!link.device) return 1;
    while (link.device->InputCount() > 0) link.device->GetByte();
    return 1;
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
