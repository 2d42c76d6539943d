#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace ombrix {
namespace {

SysError NotRegular(const std::string& path) {
    SysError e;
    e.code = SysErrorCode::Other;
    e.osError = EINVAL;
    e.text = path + ": not a regular file";
    return e;
}

void Report(SysError* error, const SysError& e) {
    if (error) *error = e;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links to the file they name, which need not exist yet.
bool ResolveLinks(const std::string& path, std::string* target, int* err) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st{};
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                *err = errno;
                return false;
            }
            *target = p;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            *target = p;
            return true;
        }
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n < 0 || static_cast<size_t>(n) >= buf.size()) {
            *err = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        const std::string link(buf.data(), static_cast<size_t>(n));
        if (!link.empty() && link[0] == '/') {
            p = link;
        } else {
            const size_t slash = p.rfind('/');
            p = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + link;
        }
    }
    *err = ELOOP;
    return false;
}

// Opening with O_NONBLOCK keeps a FIFO without a writer from blocking us; fstat then
// tells a regular file from everything else.
bool ReadUpTo(const std::string& path, std::vector<uint8_t>* out, SysError* error, size_t maxSize, bool* more) {
    *more = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        Report(error, SystemErrorFromErrno(errno, path));
        return false;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd);
        Report(error, S_ISDIR(st.st_mode) ? SystemErrorFromErrno(EISDIR, path)
                      : st.st_mode       ? NotRegular(path)
                                         : SystemErrorFromErrno(err, path));
        return false;
    }
    out->clear();
    uint8_t buf[65536];
    for (;;) {
        const size_t want = std::min(sizeof buf, maxSize + 1 - out->size());
        const ssize_t n = ::read(fd, buf, want);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            Report(error, SystemErrorFromErrno(err, path));
            return false;
        }
        out->insert(out->end(), buf, buf + n);
        if (out->size() > maxSize) {
            out->resize(maxSize);
            *more = true;
            break;
        }
    }
    ::close(fd);
    return true;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, SysError* error, size_t maxSize) {
    bool more = false;
    if (!ReadUpTo(path, out, error, maxSize, &more)) return false;
    if (more) {
        out->clear();
        Report(error, SystemErrorFromErrno(EFBIG, path));
        return false;
    }
    return true;
}

bool ReadFilePrefix(const std::string& path, std::vector<uint8_t>* out, SysError* error, size_t maxSize,
                    bool* more) {
    return ReadUpTo(path, out, error, maxSize, more);
}

std::string MoveFileAside(const std::string& path, const std::string& suffix, SysError* error) {
    for (int n = 1; n < 1000; ++n) {
        const std::string name = path + suffix + (n == 1 ? std::string() : std::to_string(n));
        struct stat st{};
        if (::lstat(name.c_str(), &st) == 0) continue;
        if (::rename(path.c_str(), name.c_str()) != 0) break;
        return name;
    }
    Report(error, SystemErrorFromErrno(errno ? errno : EEXIST, path));
    return {};
}

bool AtomicFileWriter::Open(const std::string& path, SysError* error) {
    Abort();
    std::string target;
    int err = 0;
    if (!ResolveLinks(path, &target, &err)) {
        Report(error, SystemErrorFromErrno(err, path));
        return false;
    }
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) err = EISDIR;
        else if (!S_ISREG(st.st_mode)) {
            Report(error, NotRegular(path));
            return false;
        } else if (::access(target.c_str(), W_OK) != 0) {
            err = errno;
        }
    }
    const std::string folder = DirectoryOf(target);
    if (!err && ::access(folder.c_str(), W_OK | X_OK) != 0) err = errno;
    // A folder removed while we are in it still answers access(), but takes no new file.
    if (!err && ::stat(folder.c_str(), &st) == 0 && st.st_nlink == 0) err = ENOENT;
    if (err) {
        Report(error, SystemErrorFromErrno(err, path));
        return false;
    }
    open_ = true;
    path_ = path;
    target_ = target;
    data_.clear();
    return true;
}

void AtomicFileWriter::Abort() {
    open_ = false;
    data_.clear();
}

bool AtomicFileWriter::Commit(SysError* error) {
    if (!open_) {
        Report(error, SystemErrorFromErrno(EBADF, path_));
        return false;
    }
    open_ = false;
    const size_t slash = target_.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : target_.substr(0, slash + 1)) +
                       AtomicTempName(slash == std::string::npos ? target_ : target_.substr(slash + 1));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        Report(error, SystemErrorFromErrno(errno, path_));
        return false;
    }
    struct stat st{};
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Only a privileged writer may hand the file back to its owner; others keep theirs.
        [[maybe_unused]] const int owned = ::fchown(fd, st.st_uid, st.st_gid);
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    size_t done = 0;
    int err = 0;
    while (done < data_.size()) {
        const ssize_t n = ::write(fd, data_.data() + done, data_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(temp.c_str(), target_.c_str()) != 0) err = errno;
    data_.clear();
    if (err) {
        ::unlink(temp.c_str());
        Report(error, SystemErrorFromErrno(err, path_));
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

namespace {

constexpr char kTempMark[] = ".ombrix-tmp-";
constexpr size_t kTempRandom = 6;  // mkstemp's six characters

}  // namespace

std::string AtomicTempName(const std::string& name) { return "." + name + kTempMark + std::string(kTempRandom, 'X'); }

bool IsAtomicTempName(const std::string& entry, const std::vector<std::string>& names) {
    const size_t mark = sizeof kTempMark - 1;
    for (const std::string& name : names) {
        if (entry.size() != 1 + name.size() + mark + kTempRandom || entry[0] != '.' ||
            entry.compare(1, name.size(), name) != 0 || entry.compare(1 + name.size(), mark, kTempMark) != 0) {
            continue;
        }
        return std::all_of(entry.end() - kTempRandom, entry.end(),
                           [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    }
    return false;
}

std::vector<std::string> RemoveStaleTempFiles(const std::string& folder, const std::vector<std::string>& names,
                                              const struct timespec& notAfter) {
    std::vector<std::string> removed;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return removed;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!IsAtomicTempName(name, names)) continue;
        const std::string path = folder + "/" + name;
        struct stat st{};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        const bool older = st.st_mtim.tv_sec < notAfter.tv_sec ||
                           (st.st_mtim.tv_sec == notAfter.tv_sec && st.st_mtim.tv_nsec < notAfter.tv_nsec);
        if (older && ::unlink(path.c_str()) == 0) removed.push_back(name);
    }
    ::closedir(dir);
    return removed;
}

bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, SysError* error) {
    AtomicFileWriter w;
    if (!w.Open(path, error)) return false;
    w.Append(bytes);
    return w.Commit(error);
}

}  // namespace ombrix
