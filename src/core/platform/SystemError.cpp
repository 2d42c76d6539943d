#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace ombrix {

const char* SysErrorCodeName(SysErrorCode code) {
    switch (code) {
        case SysErrorCode::None: return "no error";
        case SysErrorCode::NotFound: return "not found";
        case SysErrorCode::Permission: return "permission denied";
        case SysErrorCode::Busy: return "in use by another program";
        case SysErrorCode::NotATerminal: return "not a serial device";
        case SysErrorCode::Unsupported: return "setting not supported";
        case SysErrorCode::Refused: return "connection refused";
        case SysErrorCode::Timeout: return "timed out";
        case SysErrorCode::LineDropped: return "line dropped";
        case SysErrorCode::InvalidName: return "invalid device name";
        case SysErrorCode::Other: return "system error";
    }
    return "system error";
}

SysError MakeSysError(SysErrorCode code, const std::string& what) {
    SysError e;
    e.code = code;
    e.text = what.empty() ? SysErrorCodeName(code) : what + ": " + SysErrorCodeName(code);
    return e;
}

SysError SystemErrorFromErrno(int err, const std::string& what) {
    SysErrorCode code = SysErrorCode::Other;
    switch (err) {
        case 0: return SysError{};
        case ENOENT: case ENODEV: case ENXIO: code = SysErrorCode::NotFound; break;
        case EACCES: case EPERM: case EROFS: code = SysErrorCode::Permission; break;
        case EBUSY: case EWOULDBLOCK: code = SysErrorCode::Busy; break;
        case ENOTTY: code = SysErrorCode::NotATerminal; break;
        case EINVAL: case EOPNOTSUPP: code = SysErrorCode::Unsupported; break;
        case ECONNREFUSED: code = SysErrorCode::Refused; break;
        case ETIMEDOUT: code = SysErrorCode::Timeout; break;
        case EIO: case EPIPE: case ECONNRESET: case ENOTCONN: case EHOSTUNREACH: case ENETUNREACH:
            code = SysErrorCode::LineDropped;
            break;
        default: break;
    }
    SysError e = MakeSysError(code, what);
    e.osError = err;
    e.text += std::string(" (") + std::strerror(err) + ")";
    return e;
}

}  // namespace ombrix
