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

const char* ServerUsage();

}  // namespace ombrix::server
