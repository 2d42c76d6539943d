// Any bytes as a description file: the reader refuses or accepts without reading past
// the end, and whatever it accepts is written back, and (when small) through the text
// form, byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/DescriptionText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    Description d;
    DescriptionPadding padding;
    if (!ParseDescription(data, size, &d, &padding, nullptr)) return 0;
    const std::vector<uint8_t> input(data, data + size);
    std::vector<uint8_t> again;
    if (!SerializeDescription(d, &padding, &again, nullptr) || again != input) std::abort();
    // The text form costs far more than the reader; small files are enough to cover it.
    if (size > 2048) return 0;
    const std::string text = DescriptionToText(d, padding);
    std::vector<uint8_t> fromText;
    std::string why;
    if (!DescriptionTextToBytes(text, &fromText, &why) || fromText != input) std::abort();
    return 0;
}
