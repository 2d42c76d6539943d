#pragma once
// The history as the command-line tool's --json and the API give it: one encoding.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "history/HistoryStore.h"
#include "history/Snapshots.h"

namespace ombrix {

// {"id", "time" (ISO UTC, when first taken), "last" (when last found so), "times",
// "address", "serial", "model", "type", "letter", "version", "reason", "note", "state",
// "detail", "blocks"}
nlohmann::json SnapshotInfoJson(const SnapshotInfo& info);
// The same with "blocks": [{"block", "header", "name", "type", "free", "body" (hex)}].
nlohmann::json SnapshotJson(const SnapshotRecord& record);
// {"snapshot", "complete", "repeated", "blocks", "detail", "previous", "drift", "changes"}
// for one snapshot taken; the address is the caller's.
nlohmann::json SnapshotTakenJson(const SnapshotTaken& taken);
// "2026-12-08 14:30:05" in the local time zone.
std::string LocalTimeText(int64_t ms);
// "snapshot 12 of projector 1: 4 blocks, complete" and the like, as the tool prints it.
std::string SnapshotTakenText(int address, const SnapshotTaken& taken);

}  // namespace ombrix
