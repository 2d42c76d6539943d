// Any bytes as user_addr.cfg or addr.cfg: what a search probes is at most every address
// once, each 0-255, and every entry is either probed, skipped or a repeat.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "discovery/AddressSets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    const std::vector<int32_t> entries = AddressEntries(data, size);
    if (entries.size() != size / 4) std::abort();
    const AddressList list = UsableAddresses(entries);
    if (list.addresses.size() > 256) std::abort();
    std::array<bool, 256> seen{};
    for (int32_t a : list.addresses) {
        if (a < 0 || a > 255 || seen[static_cast<size_t>(a)]) std::abort();
        seen[static_cast<size_t>(a)] = true;
    }
    if (list.addresses.size() + list.outOfRange.size() + static_cast<size_t>(list.repeated) != entries.size()) {
        std::abort();
    }
    return 0;
}
