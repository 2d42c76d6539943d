// Any text as the readable form of a description file: refused, or turned into bytes
// that the description reader accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/Description.h"
#include "data/DescriptionText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    std::vector<uint8_t> bytes;
    std::string why;
    if (!DescriptionTextToBytes(std::string(reinterpret_cast<const char*>(data), size), &bytes, &why)) return 0;
    Description d;
    DescriptionPadding padding;
    if (!ParseDescription(bytes.data(), bytes.size(), &d, &padding, nullptr)) std::abort();
    return 0;
}
