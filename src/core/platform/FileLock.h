#pragma once
// An advisory lock (flock) on a lock file beside a file that several programs change by
// reading it, changing it and writing it back — the window, ombrix-cli and
// ombrix-server on one work folder — so that no change is lost between another's read
// and its write. The lock dies with its holder; the lock file stays.
#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace ombrix {

constexpr uint32_t kFileLockWaitMs = 5000;

// ".NAME.lock" beside path.
std::string LockFileFor(const std::string& path);

class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() { Release(); }

    // Waits up to waitMs on clock for the lock of path; false with the reason, naming
    // the file, when another holds it that long or the lock file cannot be opened.
    bool Acquire(const std::string& path, Clock& clock, uint32_t waitMs, std::string* why);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace ombrix
