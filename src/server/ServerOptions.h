#pragma once
// ombrix-server's command line and the rule of who may reach it: without a token it
// listens on the loopback interface only.
#include <optional>
#include <string>
#include <vector>

namespace ombrix::server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8470;
    std::string tokenFile;
    std::string device;
    std::optional<long> baud;
    // Seconds between background checks instead of options.cfg's interval (0: the options').
    long checkInterval = 0;
    // "HOST:PORT" of an MQTT broker (checked when the bridge starts); empty: mqtt.json decides.
    std::string mqtt;
    // --allow-host NAME, repeatable: names clients may reach the server by (a reverse proxy's).
    std::vector<std::string> allowHosts;
    // Event streams open at once; more are refused with 503.
    long maxStreams = 64;
    // Longest a program at a seat may hold the line at once.
    long seatLeaseSeconds = 60;
    // --seat-listen ADDR:PORT: seats over the network (port -1: none).
    std::string seatHost;
    int seatPort = -1;
    bool help = false;
};

// Everything but --workdir, which the caller has taken already. False with the reason.
bool ParseServerArgs(const std::vector<std::string>& args, ServerOptions* out, std::string* why);
// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackHost(const std::string& host);
// False, with why, when the server must not start: a non-loopback address without a token.
bool ListenAllowed(const ServerOptions& options, std::string* why);
// The token of a token file: its first line without surrounding blanks; false (and why)
// when the file cannot be read or holds no token.
bool ReadTokenFile(const std::string& path, std::string* token, std::string* why);

// A warning when others than the file's owner and group may read the token file; empty
// when it is kept as it should be.
std::string TokenFileWarning(const std::string& path);

// Whether a request's Host header names this server: the address it listens on, any IP
// address when it listens on all of them, localhost, or an allowed name. A page that a
// rebound name brought into a browser names its own host, which is none of these.
bool HostAllowed(const std::string& hostHeader, const std::string& listenHost,
                 const std::vector<std::string>& allowHosts);
// Whether an Origin header is this server's own page: http:// or https:// (behind a
// proxy) followed by the request's host.
bool OriginAllowed(const std::string& origin, const std::string& hostHeader);

const char* ServerUsage();

}  // namespace ombrix::server
