#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ombrix {

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, SysError* error, size_t maxSize) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = SystemErrorFromErrno(errno, path);
        return false;
    }
    out->clear();
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            if (error) *error = SystemErrorFromErrno(err, path);
            return false;
        }
        if (out->size() + static_cast<size_t>(n) > maxSize) {
            ::close(fd);
            if (error) *error = SystemErrorFromErrno(EFBIG, path);
            return false;
        }
        out->insert(out->end(), buf, buf + n);
    }
    ::close(fd);
    return true;
}

bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, SysError* error) {
    std::string tmpl = path + ".tmpXXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error) *error = SystemErrorFromErrno(errno, path);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(tmpl.c_str());
            if (error) *error = SystemErrorFromErrno(err, path);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpl.c_str());
        if (error) *error = SystemErrorFromErrno(err, path);
        return false;
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmpl.c_str());
        if (error) *error = SystemErrorFromErrno(err, path);
        return false;
    }
    return true;
}

}  // namespace ombrix
