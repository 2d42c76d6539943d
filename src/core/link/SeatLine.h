#pragma once
// The line as a program sees it when the service holds it: a seat at the service. Bytes
// written go to the service whole, one write at a time; while this program holds its
// bus lock the service lends it the line (a lease), so what the projectors answer comes
// back here and nothing of the service's own is interleaved.
#include <memory>
#include <string>

#include "platform/SerialDevice.h"

namespace ombrix {

// Who sits at a seat, as the service shows it.
struct SeatIdentity {
    std::string program;
    std::string user;
    std::string host;
    long pid = 0;
    // The server's token, for a seat over the network (from OMBRIX_TOKEN).
    std::string token;
};
SeatIdentity ThisProcessSeat(const std::string& program);

// The service's seat at socketPath (a UNIX socket), introduced as `who`; nullptr with the
// reason in *error when nobody answers there or the service refuses.
std::unique_ptr<SerialDevice> OpenSeat(const std::string& socketPath, const SeatIdentity& who, SysError* error);

// ombrix://HOST:PORT: a server's seat over the network.
bool IsServerUrl(const std::string& path);
// The seat at a server's URL; nullptr with why (the connection's failure, or the server's
// refusal) in *error.
std::unique_ptr<SerialDevice> OpenServerSeat(const std::string& url, const SeatIdentity& who, SysError* error);

// Whether a device is a seat (the line is the service's).
bool IsSeat(const SerialDevice& device);

}  // namespace ombrix
