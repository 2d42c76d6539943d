#pragma once
// The simulated bus behind a real line: a pseudo-terminal or a TCP port with one client
// at a time. ombrix-sim runs it from its main loop; tests run it on a thread of their own.
#include <poll.h>

#include <string>
#include <vector>

#include "SimBus.h"
#include "platform/Clock.h"

namespace ombrix::sim {

class LineServer {
public:
    // ticksPerRealMs: how fast the clock runs against real time (a scaled test clock),
    // so that a reply due in n ticks is written after n / ticksPerRealMs real ms.
    LineServer(SimBus& bus, Clock& clock, double ticksPerRealMs = 1.0);
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // A new pseudo-terminal in raw mode; link, when given, becomes a symbolic link to it.
    bool OpenPty(const std::string& link = "");
    // Listens on 127.0.0.1:port; port 0 takes any free one (see TcpPort).
    bool OpenTcp(int port);
    const std::string& PtyPath() const { return slavePath_; }
    int TcpPort() const { return tcpPort_; }

    // Waits up to maxMs real ms for the line, a new client, one of extra, or the next
    // due reply; feeds what the host sent into the bus and writes the replies that are
    // due. extra's revents are left for the caller.
    void Serve(std::vector<pollfd>& extra, int maxMs);

    // The device vanishes (the pty is closed, the TCP client hung up on) / comes back
    // (a new pty under the same link; the TCP port takes a new client).
    void Drop();
    void Restore();

private:
    void ClosePty();
    int LineFd() const { return master_ >= 0 ? master_ : client_; }
    void WriteDue();

    SimBus& bus_;
    Clock& clock_;
    double ticksPerRealMs_;
    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the pty alive while no client has it open
    std::string slavePath_;
    std::string link_;
    bool pty_ = false;
    int listenFd_ = -1;
    int client_ = -1;
    int tcpPort_ = 0;
};

}  // namespace ombrix::sim
