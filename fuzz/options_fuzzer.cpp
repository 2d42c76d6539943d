// Any bytes as options.cfg: the reader stays within the bytes and the 99 sources, and
// what it reads is written and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/Options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    ProgramOptions o;
    ParseOptions(data, size, &o);
    if (o.sources.size() > static_cast<size_t>(kMaxSources)) std::abort();
    const std::vector<uint8_t> bytes = SerializeOptions(o);
    ProgramOptions back;
    ParseOptions(bytes.data(), bytes.size(), &back);
    if (SerializeOptions(back) != bytes) std::abort();
    return 0;
}
