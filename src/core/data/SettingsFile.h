#pragma once
// Settings files (*.set): the whole RAM container, one reader and one writer. A file is
// read whole and checked against its counts before anything in the RAM container
// changes; saving is atomic, so a failed save keeps the previous file.
//
// Where the window has a file dialog ("Save Settings", "Load Settings", filter
// "Setting Files (*.SET)"), the caller passes the path the user chose.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "blocks/BlockModel.h"
#include "platform/Env.h"

namespace ombrix {

constexpr size_t kSettingsRowSize = 287;

struct SettingsFileContainer {
    int32_t rowCount = 0;  // title row included
    int32_t projectorType = 0;
};

struct SettingsFileContent {
    std::vector<SettingsFileContainer> containers;
    std::vector<RAMBlock> rows;  // every container's rows, in file order
};

// False, with the reason, unless the size is exactly 4 + 8·K + 287·R with K >= 0 and
// every container holding its title row first and no other title row.
bool ParseSettingsFile(const uint8_t* data, size_t size, SettingsFileContent* out, std::string* why);
bool ReadSettingsFile(const std::string& path, SettingsFileContent* out, std::string* why);

// The file's bytes for the RAM container; false when it holds no container.
bool SerializeSettings(const BlockTables& t, std::vector<uint8_t>* out);

// Error 25 when the file cannot be written; warning 29 (and the file left as it was)
// when there is no container.
bool SaveSettingsFile(const Env& env, const BlockTables& t, const std::string& path);

// Adds a read file's containers to the RAM container: each container whose rows would
// bring the used rows to 300 or more is left out with warning 43; with append, a
// container of a type already present has its blocks put at the end of that container.
// Returns the number of containers left out.
int MergeSettings(const Env& env, BlockTables& t, const SettingsFileContent& file, bool append);

// Reads the file, then merges it; error 26 with the reason (and nothing changed) when it
// cannot be read or is damaged.
bool LoadSettingsFile(const Env& env, BlockTables& t, bool append, const std::string& path,
                      int* leftOut = nullptr);

struct SettingsCommandResult {
    bool fileRead = false;
    bool ramHasRows = false;    // enables saving and the RAM listing
    int containersLeftOut = 0;  // turned away by the 300-row rule (warning 43)
};

// The "Load RAM from file" and "Append File to RAMContainer" commands: the RAM
// container is replaced only once the new file has been read whole. Warning 19 when the
// RAM container ends up empty.
SettingsCommandResult LoadSettingsCommand(const Env& env, BlockTables& t, const std::string& path);
SettingsCommandResult AppendSettingsCommand(const Env& env, BlockTables& t, const std::string& path);

}  // namespace ombrix
