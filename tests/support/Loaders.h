#pragma once
// A library loader that can pretend a library is missing.
#include <set>
#include <string>

#include "platform/Library.h"

namespace ombrix::testing {

class SelectiveLoader final : public LibraryLoader {
public:
    std::set<std::string> missing;
    std::unique_ptr<Library> Load(const std::string& name, SysError* error) override {
        if (missing.count(name)) return nullptr;
        return real_.Load(name, error);
    }

private:
    DlLibraryLoader real_;
};

}  // namespace ombrix::testing
