#pragma once
// Shared libraries loaded by name at run time: the type library for its numbered
// strings, the image library for its numbered images.
#include <memory>
#include <string>

#include "platform/SystemError.h"

namespace ombrix {

class Library {
public:
    virtual ~Library() = default;
    virtual void* Symbol(const char* name) = 0;
};

class LibraryLoader {
public:
    virtual ~LibraryLoader() = default;
    // name: the bare library name, e.g. "kelvaneproj".
    virtual std::unique_ptr<Library> Load(const std::string& name, SysError* error) = 0;
};

// dlopen: first beside the running program, then the loader's search path.
class DlLibraryLoader final : public LibraryLoader {
public:
    std::unique_ptr<Library> Load(const std::string& name, SysError* error) override;
};

// Reads numbered string `number` through the library's Return_Projector_String export,
// into a buffer of bufferSize characters (terminator included). False when the library
// is missing or has no such string.
bool ReadLibraryString(Library* lib, int number, int bufferSize, std::string* out);

// Directory of the running executable, without a trailing slash.
std::string ExecutableDirectory();

}  // namespace ombrix
