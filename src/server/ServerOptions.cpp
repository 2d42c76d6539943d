#include "ServerOptions.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
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

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// A DNS name or an IP address as --allow-host takes it.
bool HostName(const std::string& s) {
    if (s.empty() || s.size() > 253) return false;
    return std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == ':' || c == '_';
    });
}

bool IpLiteral(const std::string& s) {
    unsigned char buf[16];
    return inet_pton(AF_INET, s.c_str(), buf) == 1 || inet_pton(AF_INET6, s.c_str(), buf) == 1;
}

// The host part of a Host header, lower case, without port, brackets or a trailing dot;
// empty when it is not a host.
std::string HostPart(const std::string& header) {
    std::string h = header;
    if (!h.empty() && h.front() == '[') {
        const size_t close = h.find(']');
        if (close == std::string::npos) return "";
        const std::string rest = h.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || rest.find_first_not_of("0123456789", 1) != std::string::npos)) return "";
        h = h.substr(1, close - 1);
        return IpLiteral(h) ? Lower(h) : "";
    }
    const size_t colon = h.find(':');
    if (colon != std::string::npos) {
        if (h.find_first_not_of("0123456789", colon + 1) != std::string::npos) return "";
        h = h.substr(0, colon);
    }
    if (!h.empty() && h.back() == '.') h.pop_back();
    return HostName(h) ? Lower(h) : "";
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
           "                     [--allow-host NAME]... [--max-streams N] [--seat-lease SECONDS]\n"
           "                     [--seat-listen ADDR:PORT]\n"
           "       ombrix-server --version\n"
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
           "  --allow-host NAME    a name clients reach the server by (a reverse proxy's, a\n"
           "                       DNS name); requests for other names get 421. Repeatable\n"
           "  --max-streams N      event streams open at once (default 64); more get 503\n"
           "  --seat-lease S       longest the line is lent at once to a program at its seat\n"
           "                       (default 60)\n"
           "  --seat-listen ADDR:PORT  seats for programs on other machines too, reached as\n"
           "                       ombrix://HOST:PORT (any address but the loopback needs\n"
           "                       --token-file; they send it from OMBRIX_TOKEN)\n"
           "\n"
           "ombrix and ombrix-cli on the same line use it through the server (its seat, a\n"
           "socket beside the line's lock); GET /api/v1/line lists them.\n"
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
        } else if (a == "--allow-host") {
            if (!value(&v) || !HostName(v)) {
                *why = "--allow-host needs a host name";
                return false;
            }
            o.allowHosts.push_back(Lower(v));
        } else if (a == "--max-streams") {
            if (!value(&v) || !Number(v, 1, 100000, &n)) {
                *why = "--max-streams needs a number from 1";
                return false;
            }
            o.maxStreams = n;
        } else if (a == "--seat-listen") {
            if (!value(&v) || !ParseListen(v, &o.seatHost, &o.seatPort)) {
                *why = "--seat-listen needs ADDR:PORT";
                return false;
            }
        } else if (a == "--seat-lease") {
            if (!value(&v) || !Number(v, 1, 3600, &n)) {
                *why = "--seat-lease needs 1-3600 seconds";
                return false;
            }
            o.seatLeaseSeconds = n;
        } else if (a == "--check-interval") {
            if (!value(&v) || !Number(v, 1, 86400, &n)) {
                *why = "--check-interval needs 1-86400 seconds";
                return false;
            }
            o.checkInterval = n;
        } else {
            *why = "unknown argument " + a.substr(0, 40);
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
    if (options.seatPort >= 0 && !IsLoopbackHost(options.seatHost) && options.tokenFile.empty()) {
        *why = "seats on " + options.seatHost +
               " would let anyone on the network use the line; give --token-file FILE, or listen on 127.0.0.1";
        return false;
    }
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

std::string TokenFileWarning(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !(st.st_mode & (S_IROTH | S_IWOTH))) return "";
    return "warning: every user of this machine can read the token file " + path +
           "; keep it for root and the service's group (install -m 0640 -o root -g ombrix) or hand it over "
           "with systemd's LoadCredential=";
}

bool HostAllowed(const std::string& hostHeader, const std::string& listenHost,
                 const std::vector<std::string>& allowHosts) {
    const std::string host = HostPart(hostHeader);
    if (host.empty()) return false;
    if (host == "localhost") return true;
    const std::string listen = Lower(listenHost);
    if (host == listen) return true;
    if (IpLiteral(host) && (listen.empty() || listen == "0.0.0.0" || listen == "::")) return true;
    // An address is no name a DNS answer can move: on the loopback any loopback address will do.
    if (IsLoopbackHost(listen) && (host == "::1" || (IpLiteral(host) && IsLoopbackHost(host)))) return true;
    return std::find(allowHosts.begin(), allowHosts.end(), host) != allowHosts.end();
}

bool OriginAllowed(const std::string& origin, const std::string& hostHeader) {
    const std::string o = Lower(origin);
    const std::string h = Lower(hostHeader);
    return !h.empty() && (o == "http://" + h || o == "https://" + h);
}

}  // namespace ombrix::server
