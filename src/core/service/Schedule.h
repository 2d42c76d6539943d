#pragma once
// Schedules: what to do to which projectors at a time of day on given weekdays, in the
// machine's local time zone. One reader and one writer for schedules.json; the file is
// taken whole or refused whole, with the reason.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SystemError.h"

namespace ombrix {

constexpr const char* kSchedulesFileName = "schedules.json";
constexpr size_t kMaxSchedulesFileSize = 1024 * 1024;
constexpr size_t kMaxScheduleEntries = 500;

enum class ScheduleTargetKind { All, Group, Address };

struct ScheduleTarget {
    ScheduleTargetKind kind = ScheduleTargetKind::All;
    std::string group;
    int address = 0;
    bool operator==(const ScheduleTarget&) const = default;
};

enum class ScheduleActionKind { Power, Pause, Text, Source, Key, Snapshot };

struct ScheduleAction {
    ScheduleActionKind kind = ScheduleActionKind::Power;
    bool on = false;  // power, pause, text
    int value = 0;    // the input slot, or the key code
    bool operator==(const ScheduleAction&) const = default;
};

struct ScheduleEntry {
    std::string name;
    uint8_t days = 0;  // bit n = weekday n as struct tm counts it (0 = Sunday)
    int hour = 0;
    int minute = 0;
    ScheduleTarget target;
    ScheduleAction action;
    bool operator==(const ScheduleEntry&) const = default;
};

// The whole text or nothing: on failure *out is untouched and *reason names the entry
// and the field at fault.
bool ParseSchedules(const std::string& text, std::vector<ScheduleEntry>* out, std::string* reason);
// The same array the reader takes, readable (two-space indents).
std::string SchedulesToJson(const std::vector<ScheduleEntry>& entries);
// A missing file is an empty list. With keptAs, a file that is refused for what it holds
// (a regular file: its text, its size) is moved aside as path + ".refused", so nothing
// written later replaces the person's list; *keptAs names it (empty when it could not be
// moved: the reason says so, and the file must not be written over).
bool ReadSchedulesFile(const std::string& path, std::vector<ScheduleEntry>* out, std::string* reason,
                       std::string* keptAs = nullptr);
bool WriteSchedulesFile(const std::string& path, const std::vector<ScheduleEntry>& entries, SysError* error);

// The body the service's commands take for this action: {"power": true}, {"key": 27}, ...
std::string ScheduleActionJson(const ScheduleAction& action);
// "all", {"group": "Dome"} or {"address": 3}, as JSON text.
std::string ScheduleTargetJson(const ScheduleTarget& target);
// "mon,tue 08:30" style, for the log.
std::string ScheduleWhenText(const ScheduleEntry& entry);

// The first run strictly after afterSec (seconds since the epoch), in the local zone of
// the process (TZ). A time the clocks skip that day runs at the next minute that exists;
// a time they pass twice runs at the first. -1 when the entry has no day.
int64_t NextScheduleRun(const ScheduleEntry& entry, int64_t afterSec);
// "2026-03-29 03:00 CEST"
std::string FormatLocalTime(int64_t epochSec);
// ISO 8601 with the offset: "2026-03-29T03:00:00+02:00"
std::string FormatLocalTimeIso(int64_t epochSec);

}  // namespace ombrix
