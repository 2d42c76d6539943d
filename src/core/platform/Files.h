#pragma once
// One way in and one way out for the program's binary files: a bounds-checked reader
// over the whole file and an atomic writer (temporary file, then rename), so a failed
// save never destroys the previous good file.
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/SystemError.h"

namespace ombrix {

// Reads at most maxSize bytes; larger files are refused. Only regular files are read: a
// FIFO or a device would block or never end.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, SysError* error,
                   size_t maxSize = 64u * 1024u * 1024u);
// Reads the first maxSize bytes at most; *more tells whether the file goes on.
bool ReadFilePrefix(const std::string& path, std::vector<uint8_t>* out, SysError* error, size_t maxSize,
                    bool* more);
bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, SysError* error);
// False only when nothing is under that name (a link to nothing counts as nothing): a
// link loop, or a name that cannot be looked up, is there, so its reader says why.
bool FileExists(const std::string& path);
// Renames the file to the first free name of path + suffix, path + suffix + "2", ...;
// the new name, or empty when it could not be moved.
std::string MoveFileAside(const std::string& path, const std::string& suffix, SysError* error);

// The atomic writer's temporary files are hidden beside the file they replace, under a
// name nobody else uses: ".NAME.ombrix-tmp-XXXXXX".
std::string AtomicTempName(const std::string& name);
// True for ".NAME.ombrix-tmp-XXXXXX" (six letters or digits) with NAME one of names.
bool IsAtomicTempName(const std::string& entry, const std::vector<std::string>& names);
// Removes what a save killed before its rename left behind in folder: regular files of
// ours, named as the atomic writer names the temporary files of one of names, and last
// changed before notAfter (the process's start, so a save running in another instance
// is left alone). Nothing else is touched, whatever its name. The names removed.
std::vector<std::string> RemoveStaleTempFiles(const std::string& folder, const std::vector<std::string>& names,
                                              const struct timespec& notAfter);

// A file written in one go at Commit: until then the old file stays as it was. Opening
// answers "can this be written?" before any work but creates nothing, so a process
// killed in between leaves no temporary file behind. A symbolic link is written through
// to its target, and a file that exists keeps its permission bits.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    ~AtomicFileWriter() { Abort(); }

    bool Open(const std::string& path, SysError* error);
    bool IsOpen() const { return open_; }
    void Append(const std::vector<uint8_t>& bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }
    bool Commit(SysError* error);
    void Abort();

private:
    bool open_ = false;
    std::string path_;    // what was asked for
    std::string target_;  // what is written: the end of any chain of links
    std::vector<uint8_t> data_;
};

// Little-endian fields, each checked against what remains.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    size_t Remaining() const { return size_ - pos_; }
    size_t Position() const { return pos_; }
    bool Bytes(void* out, size_t n) {
        if (n > Remaining()) return false;
        if (n) std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    bool Skip(size_t n) {
        if (n > Remaining()) return false;
        pos_ += n;
        return true;
    }
    bool U8(uint8_t* v) { return Bytes(v, 1); }
    bool U16(uint16_t* v) {
        uint8_t b[2];
        if (!Bytes(b, 2)) return false;
        *v = static_cast<uint16_t>(b[0] | (b[1] << 8));
        return true;
    }
    bool U32(uint32_t* v) {
        uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        *v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
             (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }
    bool I32(int32_t* v) {
        uint32_t u;
        if (!U32(&u)) return false;
        *v = static_cast<int32_t>(u);
        return true;
    }
    bool F32(float* v) {
        uint32_t u;
        if (!U32(&u)) return false;
        std::memcpy(v, &u, 4);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class ByteWriter {
public:
    void U8(uint8_t v) { buf_.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void Bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    void Zeros(size_t n) { buf_.insert(buf_.end(), n, 0); }
    const std::vector<uint8_t>& Data() const { return buf_; }

private:
    std::vector<uint8_t> buf_;
};

}  // namespace ombrix
