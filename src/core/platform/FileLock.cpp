#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ombrix {

namespace {

constexpr uint32_t kRetryMs = 20;

}  // namespace

std::string LockFileFor(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".lock";
}

bool FileLock::Acquire(const std::string& path, Clock& clock, uint32_t waitMs, std::string* why) {
    Release();
    const std::string lockPath = LockFileFor(path);
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    // A folder we may only read still lets us lock a lock file that is there.
    if (fd < 0 && errno == EACCES) fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (why) *why = "cannot lock " + path + ": " + lockPath + ": " + std::strerror(errno);
        return false;
    }
    const uint64_t deadline = clock.TickMs() + waitMs;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return true;
        }
        const int err = errno;
        const uint64_t now = clock.TickMs();
        if ((err != EWOULDBLOCK && err != EINTR) || now >= deadline) {
            ::close(fd);
            if (why) {
                *why = err == EWOULDBLOCK ? path + " is being changed by another program (its lock " + lockPath +
                                                " stayed taken for " + std::to_string(waitMs / 1000) + " s)"
                                          : "cannot lock " + path + ": " + lockPath + ": " + std::strerror(err);
            }
            return false;
        }
        clock.Nap(static_cast<uint32_t>(std::min<uint64_t>(kRetryMs, deadline - now)));
    }
}

void FileLock::Release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace ombrix
