#pragma once
// Whole programs started by a test: a free loopback port for a server, and a program run
// in the background with its output in a file.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ombrix::testing {

// A port nobody listens on right now.
inline int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    close(fd);
    return ntohs(a.sin_port);
}

// argv[0] is the program's path; standard output and error are appended to out.
inline pid_t Spawn(const std::vector<std::string>& argv, const char* out) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out, "a", stdout) || !freopen(out, "a", stderr) || !freopen("/dev/null", "r", stdin)) _exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

}  // namespace ombrix::testing
