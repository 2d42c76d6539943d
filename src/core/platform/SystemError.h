#pragma once
// Operating-system failures mapped in one place to one code and one text, so every
// caller reports the same thing for the same cause.
#include <string>

namespace ombrix {

enum class SysErrorCode {
    None,
    NotFound,          // no such device, file or host
    Permission,        // access denied
    Busy,              // held by another program
    NotATerminal,      // the path is not a serial device
    Unsupported,       // a line setting the driver refuses
    Refused,           // a serial device server refused the connection
    Timeout,
    LineDropped,       // hang-up, unplugged adapter, connection closed
    InvalidName,       // a device name we cannot parse
    Other,
};

struct SysError {
    SysErrorCode code = SysErrorCode::None;
    int osError = 0;
    std::string text;

    explicit operator bool() const { return code != SysErrorCode::None; }
};

SysError SystemErrorFromErrno(int err, const std::string& what);
SysError MakeSysError(SysErrorCode code, const std::string& what);
const char* SysErrorCodeName(SysErrorCode code);

}  // namespace ombrix
