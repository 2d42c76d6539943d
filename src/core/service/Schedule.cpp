#include "service/Schedule.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <set>

#include "data/JsonInput.h"
#include "platform/Files.h"

namespace ombrix {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr const char* kDayNames[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
// Written in this order: the working week first, as people list it.
constexpr int kDayWriteOrder[7] = {1, 2, 3, 4, 5, 6, 0};

// A name or key from the file, quoted and cut for a message.
std::string Quoted(const std::string& s) { return JsonExcerpt(Json(s)); }

bool Fail(std::string* reason, const std::string& text) {
    if (reason) *reason = text;
    return false;
}

bool ParseTime(const std::string& s, int* hour, int* minute) {
    if (s.size() != 5 || s[2] != ':') return false;
    for (int i : {0, 1, 3, 4}) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    *hour = (s[0] - '0') * 10 + (s[1] - '0');
    *minute = (s[3] - '0') * 10 + (s[4] - '0');
    return *hour < 24 && *minute < 60;
}

// An integer within [lo, hi]; 3.0 and "3" are not addresses.
bool IntegerIn(const Json& v, int lo, int hi, int* out) {
    if (!v.is_number_integer()) return false;
    const auto n = v.get<int64_t>();
    if (n < lo || n > hi) return false;
    *out = static_cast<int>(n);
    return true;
}

bool ParseTarget(const Json& v, ScheduleTarget* t, std::string* why) {
    if (v.is_string()) {
        if (v.get<std::string>() != "all") return Fail(why, "\"target\" must be \"all\", {\"group\": NAME} or {\"address\": N}");
        t->kind = ScheduleTargetKind::All;
        return true;
    }
    if (!v.is_object() || v.size() != 1) {
        return Fail(why, "\"target\" must be \"all\", {\"group\": NAME} or {\"address\": N}");
    }
    if (v.contains("group")) {
        const Json& g = v["group"];
        if (!g.is_string() || g.get<std::string>().empty()) return Fail(why, "\"group\" must be a group's name");
        t->kind = ScheduleTargetKind::Group;
        t->group = g.get<std::string>();
        return true;
    }
    if (v.contains("address")) {
        if (!IntegerIn(v["address"], 1, 255, &t->address)) return Fail(why, "\"address\" must be a number from 1 to 255");
        t->kind = ScheduleTargetKind::Address;
        return true;
    }
    return Fail(why, "\"target\" must be \"all\", {\"group\": NAME} or {\"address\": N}");
}

constexpr const char* kActionForms =
    "\"action\" must be {\"power\": true|false}, {\"pause\": true|false}, {\"text\": true|false}, "
    "{\"source\": {\"slot\": N}}, {\"key\": N} or {\"snapshot\": true}";

bool ParseAction(const Json& v, ScheduleAction* a, std::string* why) {
    if (!v.is_object() || v.size() != 1) return Fail(why, kActionForms);
    const std::string key = v.begin().key();
    const Json& value = v.begin().value();
    if (key == "power" || key == "pause" || key == "text") {
        if (!value.is_boolean()) return Fail(why, Quoted(key) + " must be true or false");
        a->kind = key == "power" ? ScheduleActionKind::Power
                  : key == "pause" ? ScheduleActionKind::Pause
                                   : ScheduleActionKind::Text;
        a->on = value.get<bool>();
        return true;
    }
    if (key == "source") {
        if (!value.is_object() || value.size() != 1 || !value.contains("slot") ||
            !IntegerIn(value["slot"], 1, 99, &a->value)) {
            return Fail(why, "\"source\" must be {\"slot\": N} with N from 1 to 99");
        }
        a->kind = ScheduleActionKind::Source;
        return true;
    }
    if (key == "key") {
        if (!IntegerIn(value, 0, 255, &a->value)) return Fail(why, "\"key\" must be a key code from 0 to 255");
        a->kind = ScheduleActionKind::Key;
        return true;
    }
    if (key == "snapshot") {
        if (!value.is_boolean() || !value.get<bool>()) return Fail(why, "\"snapshot\" must be true");
        a->kind = ScheduleActionKind::Snapshot;
        a->on = true;
        return true;
    }
    return Fail(why, kActionForms);
}

bool ParseEntry(const Json& e, ScheduleEntry* out, std::string* why) {
    if (!e.is_object()) return Fail(why, "not an object");
    for (const auto& [key, value] : e.items()) {
        (void)value;
        if (key != "name" && key != "days" && key != "time" && key != "target" && key != "action") {
            return Fail(why, "unknown field " + Quoted(key));
        }
    }
    for (const char* field : {"name", "days", "time", "target", "action"}) {
        if (!e.contains(field)) return Fail(why, std::string("no \"") + field + "\"");
    }
    ScheduleEntry entry;
    if (!e["name"].is_string() || e["name"].get<std::string>().empty()) return Fail(why, "\"name\" must be a non-empty text");
    entry.name = e["name"].get<std::string>();
    const Json& days = e["days"];
    if (!days.is_array() || days.empty()) return Fail(why, "\"days\" must be a list of days such as [\"mon\", \"tue\"]");
    for (const Json& d : days) {
        int found = -1;
        if (d.is_string()) {
            for (int i = 0; i < 7; ++i) {
                if (d.get<std::string>() == kDayNames[i]) found = i;
            }
        }
        if (found < 0) return Fail(why, "unknown day " + JsonExcerpt(d) + " (mon, tue, wed, thu, fri, sat, sun)");
        if (entry.days & (1u << found)) return Fail(why, "day " + JsonExcerpt(d) + " given twice");
        entry.days = static_cast<uint8_t>(entry.days | (1u << found));
    }
    if (!e["time"].is_string() || !ParseTime(e["time"].get<std::string>(), &entry.hour, &entry.minute)) {
        return Fail(why, "\"time\" must be HH:MM from 00:00 to 23:59");
    }
    if (!ParseTarget(e["target"], &entry.target, why)) return false;
    if (!ParseAction(e["action"], &entry.action, why)) return false;
    *out = std::move(entry);
    return true;
}

OrderedJson TargetJson(const ScheduleTarget& t) {
    switch (t.kind) {
        case ScheduleTargetKind::Group: return OrderedJson{{"group", t.group}};
        case ScheduleTargetKind::Address: return OrderedJson{{"address", t.address}};
        case ScheduleTargetKind::All: break;
    }
    return "all";
}

OrderedJson ActionJson(const ScheduleAction& a) {
    switch (a.kind) {
        case ScheduleActionKind::Power: return OrderedJson{{"power", a.on}};
        case ScheduleActionKind::Pause: return OrderedJson{{"pause", a.on}};
        case ScheduleActionKind::Text: return OrderedJson{{"text", a.on}};
        case ScheduleActionKind::Source: return OrderedJson{{"source", OrderedJson{{"slot", a.value}}}};
        case ScheduleActionKind::Key: return OrderedJson{{"key", a.value}};
        case ScheduleActionKind::Snapshot: return OrderedJson{{"snapshot", true}};
    }
    return OrderedJson::object();
}

std::string TimeText(int hour, int minute) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", hour, minute);
    return buf;
}

// Proleptic Gregorian day numbers, day 0 = 1970-01-01 (a Thursday).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int WeekdayOfDay(int64_t day) { return static_cast<int>(((day % 7) + 11) % 7); }


// The first instant whose local wall clock reads the given minute of the given day, or -1
// when the clocks skip it.
int64_t FirstOccurrence(int64_t day, int minuteOfDay) {
    const int64_t naive = day * 86400 + int64_t{minuteOfDay} * 60;
    tm want{};
    const time_t naiveT = static_cast<time_t>(naive);
    gmtime_r(&naiveT, &want);
    // Every offset in force within a day and a half either side: the instant sought
    // lies within a day of the naive one, and offsets change at most a few times.
    std::set<long> offsets;
    for (int64_t probe = naive - 36 * 3600; probe <= naive + 36 * 3600; probe += 3 * 3600) {
        tm local{};
        const time_t pt = static_cast<time_t>(probe);
        if (localtime_r(&pt, &local)) offsets.insert(local.tm_gmtoff);
    }
    int64_t best = -1;
    for (long off : offsets) {
        const int64_t t = naive - off;
        tm local{};
        const time_t tt = static_cast<time_t>(t);
        if (!localtime_r(&tt, &local)) continue;
        if (local.tm_year == want.tm_year && local.tm_mon == want.tm_mon && local.tm_mday == want.tm_mday &&
            local.tm_hour == want.tm_hour && local.tm_min == want.tm_min && (best < 0 || t < best)) {
            best = t;
        }
    }
    return best;
}

// The run of this entry on this local day: its time, or the next minute that exists.
int64_t RunOnDay(const ScheduleEntry& entry, int64_t day) {
    const int start = entry.hour * 60 + entry.minute;
    for (int m = start; m < start + 24 * 60; ++m) {
        const int64_t t = FirstOccurrence(day, m);
        if (t >= 0) return t;
    }
    return -1;
}

std::string Strftime(int64_t epochSec, const char* format) {
    const time_t t = static_cast<time_t>(epochSec);
    tm local{};
    if (!localtime_r(&t, &local)) return "";
    char buf[64];
    const size_t n = std::strftime(buf, sizeof buf, format, &local);
    return std::string(buf, n);
}

}  // namespace

bool ParseSchedules(const std::string& text, std::vector<ScheduleEntry>* out, std::string* reason) {
    Json doc;
    std::string unread;
    if (!ReadJsonText(text, &doc, &unread)) return Fail(reason, unread);
    if (!doc.is_array()) return Fail(reason, "schedules must be a JSON array of entries");
    if (doc.size() > kMaxScheduleEntries) {
        return Fail(reason, "more than " + std::to_string(kMaxScheduleEntries) + " entries");
    }
    std::vector<ScheduleEntry> entries;
    std::set<std::string> names;
    for (size_t i = 0; i < doc.size(); ++i) {
        ScheduleEntry entry;
        std::string why;
        std::string label = "entry " + std::to_string(i + 1);
        if (doc[i].is_object() && doc[i].contains("name") && doc[i]["name"].is_string()) {
            label += " (" + Quoted(doc[i]["name"].get<std::string>()) + ")";
        }
        if (!ParseEntry(doc[i], &entry, &why)) return Fail(reason, label + ": " + why);
        if (!names.insert(entry.name).second) return Fail(reason, label + ": the name is used twice");
        entries.push_back(std::move(entry));
    }
    *out = std::move(entries);
    return true;
}

std::string SchedulesToJson(const std::vector<ScheduleEntry>& entries) {
    OrderedJson doc = OrderedJson::array();
    for (const auto& e : entries) {
        OrderedJson days = OrderedJson::array();
        for (int d : kDayWriteOrder) {
            if (e.days & (1u << d)) days.push_back(kDayNames[d]);
        }
        doc.push_back(OrderedJson{{"name", e.name},
                                  {"days", days},
                                  {"time", TimeText(e.hour, e.minute)},
                                  {"target", TargetJson(e.target)},
                                  {"action", ActionJson(e.action)}});
    }
    return doc.dump(2) + "\n";
}

bool ReadSchedulesFile(const std::string& path, std::vector<ScheduleEntry>* out, std::string* reason,
                       std::string* keptAs) {
    if (keptAs) keptAs->clear();
    if (!FileExists(path)) {
        out->clear();
        return true;
    }
    std::vector<uint8_t> bytes;
    SysError error;
    std::string why;
    if (!ReadWholeFile(path, &bytes, &error, kMaxSchedulesFileSize)) {
        why = error.text;  // names the file
    } else if (!ParseSchedules(std::string(bytes.begin(), bytes.end()), out, &why)) {
        why = path + ": " + why;
    } else {
        return true;
    }
    struct stat st {};
    if (keptAs && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        SysError moveError;
        *keptAs = MoveFileAside(path, ".refused", &moveError);
        why += keptAs->empty() ? "; it could not be kept aside (" + moveError.text + ")"
                               : "; it was kept as " + *keptAs;
    }
    return Fail(reason, why);
}

bool WriteSchedulesFile(const std::string& path, const std::vector<ScheduleEntry>& entries, SysError* error) {
    const std::string text = SchedulesToJson(entries);
    return WriteFileAtomic(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

std::string ScheduleActionJson(const ScheduleAction& action) { return ActionJson(action).dump(); }
std::string ScheduleTargetJson(const ScheduleTarget& target) { return TargetJson(target).dump(); }

std::string ScheduleWhenText(const ScheduleEntry& entry) {
    std::string days;
    for (int d : kDayWriteOrder) {
        if (entry.days & (1u << d)) days += (days.empty() ? "" : ",") + std::string(kDayNames[d]);
    }
    return days + " " + TimeText(entry.hour, entry.minute);
}

int64_t NextScheduleRun(const ScheduleEntry& entry, int64_t afterSec) {
    if ((entry.days & 0x7F) == 0) return -1;
    const time_t t = static_cast<time_t>(afterSec);
    tm local{};
    if (!localtime_r(&t, &local)) return -1;
    const int64_t today = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    // From yesterday: a run moved past midnight by a skipped hour may still lie ahead.
    for (int64_t day = today - 1; day <= today + 8; ++day) {
        if (!(entry.days & (1u << WeekdayOfDay(day)))) continue;
        const int64_t run = RunOnDay(entry, day);
        if (run > afterSec) return run;
    }
    return -1;
}

std::string FormatLocalTime(int64_t epochSec) { return Strftime(epochSec, "%Y-%m-%d %H:%M %Z"); }

std::string FormatLocalTimeIso(int64_t epochSec) {
    std::string s = Strftime(epochSec, "%Y-%m-%dT%H:%M:%S%z");
    if (s.size() >= 5) s.insert(s.size() - 2, ":");
    return s;
}

}  // namespace ombrix
