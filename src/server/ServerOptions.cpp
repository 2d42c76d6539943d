#include "ServerOptions.h"

#include <fstream>

namespace ombrix::server {
namespace {

bool Number(const std::string& s, long lo, long hi, long* out) {
    if (s.empty() || s.size() > 9) return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

// "HOST:PORT", "[V6]:PORT" or ":PORT" (loopback).
bool ParseListen(const std::string& text, std::string* host, int* port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    std::string h = text.substr(0, colon);
    long p = 0;
    if (!Number(text.substr(colon + 1), 0, 65535, &p)) return false;
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    *host = h.empty() ? "127.0.0.1" : h;
    *port = static_cast<int>(p);
    return true;
}

}  // namespace

const char* ServerUsage() {
    return "usage: ombrix-server [--workdir DIR] [--listen ADDR:PORT] [--token-file FILE]\n"
           "                     [--device PATH|tcp://HOST:PORT|rfc2217://HOST:PORT] [--baud RATE]\n"
           "                     [--check-interval SECONDS] [--mqtt HOST:PORT]\n"
           "\n"
           "Takes the projector line, searches it as options.cfg says, watches the projectors\n"
           "and serves them: the HTTP/JSON API under /api/v1, live events at /api/v1/events,\n"
           "metrics at /metrics, a health check at /healthz and the web console at /.\n"
           "\n"
           "  --workdir DIR        the folder with options.cfg, comm.cfg and the address sets\n"
           "  --listen ADDR:PORT   where to listen (default 127.0.0.1:8470); any address but\n"
           "                       the loopback needs --token-file\n"
           "  --token-file FILE    every /api and /metrics request must carry\n"
           "                       \"Authorization: Bearer TOKEN\", TOKEN the file's first line\n"
           "  --device, --baud     the line, as for ombrix-cli; otherwise comm.cfg's port\n"
           "  --check-interval S   seconds between rounds of status reads instead of options.cfg's\n"
           "  --mqtt HOST:PORT     put the projectors on an MQTT broker (or mqtt.json in DIR)\n"
           "\n"
           "schedules.json in DIR switches projectors at set times (GET/PUT /api/v1/schedules).\n"
           "\n"
           "Runs until SIGTERM or SIGINT; then the line is closed and the files are saved.\n";
}

bool ParseServerArgs(const std::vector<std::string>& args, ServerOptions* out, std::string* why) {
    ServerOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size() || args[i + 1].empty()) return false;
            *v = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--listen") {
            if (!value(&v) || !ParseListen(v, &o.host, &o.port)) {
                *why = "--listen needs ADDR:PORT";
                return false;
            }
        } else if (a == "--token-file") {
            if (!value(&o.tokenFile)) {
                *why = "--token-file needs a file";
                return false;
            }
        } else if (a == "--device") {
            if (!value(&o.device)) {
                *why = "--device needs a path";
                return false;
            }
        } else if (a == "--baud") {
            if (!value(&v) || !Number(v, 50, 4000000, &n)) {
                *why = "--baud needs a rate";
                return false;
            }
            o.baud = n;
        } else if (a == "--mqtt") {
            if (!value(&o.mqtt)) {
                *why = "--mqtt needs HOST:PORT";
                return false;
            }
        } else if (a == "--check-interval") {
            if (!value(&v) || !Number(v, 1, 86400, &n)) {
                *why = "--check-interval needs 1-86400 seconds";
                return false;
            }
            o.checkInterval = n;
        } else {
            *why = "unknown argument " + a;
            return false;
        }
    }
    *out = o;
    return true;
}

bool IsLoopbackHost(const std::string& host) {
    if (host == "localhost" || host == "::1") return true;
    // 127.x.y.z, digits and dots only.
    if (host.rfind("127.", 0) != 0) return false;
    int dots = 0;
    for (char c : host) {
        if (c == '.') ++dots;
        else if (c < '0' || c > '9') return false;
    }
    return dots == 3;
}

bool ListenAllowed(const ServerOptions& options, std::string* why) {
    if (IsLoopbackHost(options.host) || !options.tokenFile.empty()) return true;
    *why = "listening on " + options.host +
           " would let anyone on the network switch the projectors; give --token-file FILE, or listen on "
           "127.0.0.1";
    return false;
}

bool ReadTokenFile(const std::string& path, std::string* token, std::string* why) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) {
        *why = "cannot read the token file " + path;
        return false;
    }
    const auto first = line.find_first_not_of(" \t\r");
    const auto last = line.find_last_not_of(" \t\r");
    if (first == std::string::npos) {
        *why = "the token file " + path + " holds no token";
        return false;
    }
    *token = line.substr(first, last - first + 1);
    return true;
}

}  // namespace ombrix::server
