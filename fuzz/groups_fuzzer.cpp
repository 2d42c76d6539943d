// Any bytes as a grouping file: refused or read into a table that keeps the table's own
// limits, and whatever was read is written and read back to the same table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "blocks/Groups.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    Grouping g;
    g.groups.push_back(UserGroup{"Before", {1}, {}});
    std::string why;
    if (!ParseGroups(data, size, &g, &why)) {
        if (why.empty() || g.groups.size() != 1 || g.groups[0].name != "Before") std::abort();
        return 0;
    }
    if (g.groups.size() > kMaxUserGroups) std::abort();
    for (const UserGroup& u : g.groups) {
        if (u.members.size() > kMaxGroupSize || !CheckGroupName(u.name).empty()) std::abort();
        for (uint8_t a : u.members) if (a == 0) std::abort();
    }
    const std::vector<uint8_t> bytes = EncodeGroups(g);
    Grouping back;
    if (!ParseGroups(bytes.data(), bytes.size(), &back, &why)) std::abort();
    if (back.groups.size() != g.groups.size() || back.extra != g.extra) std::abort();
    for (size_t i = 0; i < g.groups.size(); ++i) {
        if (back.groups[i].name != g.groups[i].name || back.groups[i].members != g.groups[i].members ||
            back.groups[i].extra != g.groups[i].extra)
            std::abort();
    }
    return 0;
}
