// Any bytes as a settings file, loaded and appended into a RAM container that already
// holds rows: refused or merged without touching memory it does not own, and the
// container's rows and index stay within their tables.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "blocks/RamContainer.h"
#include "data/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    SettingsFileContent file;
    if (!ParseSettingsFile(data, size, &file, nullptr)) return 0;
    Env env;  // no Ui: the boxes are shown nowhere
    static auto t = std::make_unique<BlockTables>();
    for (bool append : {false, true}) {
        ClearRamContainer(*t);
        for (int type : {5, 8}) {
            t->ramContainers[static_cast<size_t>(t->ramContainerCount++)] = {type, t->ramRowCount};
            t->ramBlocks[static_cast<size_t>(t->ramRowCount)].containerTitle = 1;
            t->ramBlocks[static_cast<size_t>(t->ramRowCount++)].projectorType = type;
            t->ramRowCount += 2;
        }
        MergeSettings(env, *t, file, append);
        if (t->ramRowCount < 0 || t->ramRowCount >= kRamRowCapacity) std::abort();
        if (t->ramContainerCount < 0 || t->ramContainerCount > kRamContainerCapacity) std::abort();
        std::vector<uint8_t> saved;
        SerializeSettings(*t, &saved);
        SettingsFileContent back;
        if (!saved.empty() && !ParseSettingsFile(saved.data(), saved.size(), &back, nullptr)) std::abort();
    }
    return 0;
}
