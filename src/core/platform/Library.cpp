#include "platform/Library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace ombrix {
namespace {

class DlLibrary final : public Library {
public:
    explicit DlLibrary(void* handle) : handle_(handle) {}
    ~DlLibrary() override { dlclose(handle_); }
    void* Symbol(const char* name) override { return dlsym(handle_, name); }

private:
    void* handle_;
};

using StringFn = int (*)(int, char*, int);

}  // namespace

std::string ExecutableDirectory() {
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return ".";
    std::string path(buf.data(), static_cast<size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::unique_ptr<Library> DlLibraryLoader::Load(const std::string& name, SysError* error) {
    const std::string file = "lib" + name + ".so";
    // Beside the program in a build tree; in the private library folder once installed.
    void* handle = dlopen((ExecutableDirectory() + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) handle = dlopen((ExecutableDirectory() + "/../lib/ombrix/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) {
            const char* why = dlerror();
            *error = MakeSysError(SysErrorCode::NotFound, file);
            if (why) error->text += std::string(" (") + why + ")";
        }
        return nullptr;
    }
    return std::make_unique<DlLibrary>(handle);
}

bool ReadLibraryString(Library* lib, int number, int bufferSize, std::string* out) {
    if (!lib || bufferSize <= 0) return false;
    auto fn = reinterpret_cast<StringFn>(lib->Symbol("Return_Projector_String"));
    if (!fn) return false;
    std::vector<char> buf(static_cast<size_t>(bufferSize), '\0');
    const int n = fn(number, buf.data(), bufferSize);
    if (n <= 0) return false;
    buf[static_cast<size_t>(bufferSize) - 1] = '\0';
    *out = buf.data();
    return true;
}

}  // namespace ombrix
