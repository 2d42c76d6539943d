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

bool AtomicFileWriter::Open(const std::string& path, SysError* error) {
    Abort();
    std::string tmpl = path + ".tmpXXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error) *error = SystemErrorFromErrno(errno, path);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    fd_ = fd;
    path_ = path;
    temp_ = tmpl;
    data_.clear();
    return true;
}

void AtomicFileWriter::Abort() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temp_.c_str());
    fd_ = -1;
}

bool AtomicFileWriter::Commit(SysError* error) {
    if (fd_ < 0) {
        if (error) *error = SystemErrorFromErrno(EBADF, path_);
        return false;
    }
    size_t done = 0;
    int err = 0;
    while (done < data_.size()) {
        const ssize_t n = ::write(fd_, data_.data() + done, data_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!err && ::fsync(fd_) != 0) err = errno;
    if (::close(fd_) != 0 && !err) err = errno;
    fd_ = -1;
    if (!err && ::rename(temp_.c_str(), path_.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(temp_.c_str());
        if (error) *error = SystemErrorFromErrno(err, path_);
        return false;
    }
    return true;
}

bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, SysError* error) {
    AtomicFileWriter w;
    if (!w.Open(path, error)) return false;
    w.Append(bytes);
    return w.Commit(error);
}

}  // namespace ombrix
