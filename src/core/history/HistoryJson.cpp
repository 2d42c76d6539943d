#include "history/HistoryJson.h"

#include <chrono>
#include <ctime>

#include "service/EventHub.h"

namespace ombrix {

using nlohmann::json;

namespace {

std::string Iso(int64_t ms) {
    return IsoUtcTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string WireString(const std::array<uint8_t, 4>& w) {
    uint8_t wire[4] = {w[0], w[1], w[2], w[3]};
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < 4; ++i) {
        if (i) s += ' ';
        s += digits[wire[i] >> 4];
        s += digits[wire[i] & 15];
    }
    return s;
}

}  // namespace

std::string LocalTimeText(int64_t ms) {
    const std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

json SnapshotInfoJson(const SnapshotInfo& i) {
    const ProjectorIdentity& p = i.projector;
    // A snapshot still marked as being taken is not whole, whether its program is still
    // reading or was killed: said as the text says it.
    const bool unfinished = i.state == SnapshotState::Taking;
    return json{{"id", i.id},
                {"time", Iso(i.firstMs)},
                {"last", Iso(i.lastMs)},
                {"times", i.times},
                {"address", p.address},
                {"serial", p.serial},
                {"model", p.model},
                {"type", p.typeCode},
                {"letter", p.letter ? std::string(1, p.letter) : std::string()},
                {"version", p.version},
                {"reason", ReasonKey(i.reason)},
                {"note", i.note},
                {"state", StateKey(unfinished ? SnapshotState::Incomplete : i.state)},
                {"detail", unfinished ? std::string("not finished") : i.detail},
                {"blocks", i.blockCount}};
}

json SnapshotJson(const SnapshotRecord& r) {
    json j = SnapshotInfoJson(r.info);
    json blocks = json::array();
    for (const HistoryBlock& b : r.blocks) {
        blocks.push_back(json{{"block", b.position + 1},
                              {"header", WireString(b.wire)},
                              {"name", b.name},
                              {"type", b.type},
                              {"free", b.free},
                              {"body", Hex(b.body)}});
    }
    j["blockList"] = blocks;
    return j;
}

json SnapshotTakenJson(const SnapshotTaken& t) {
    json j{{"snapshot", t.id},       {"complete", t.complete}, {"repeated", t.repeated},
           {"blocks", t.blocks},     {"detail", t.detail},     {"previous", t.previousId},
           {"drift", !t.changes.Empty()}};
    j["changes"] = DiffJson(t.changes)["changes"];
    if (!t.stored) j["error"] = t.failure;
    return j;
}

std::string SnapshotTakenText(int address, const SnapshotTaken& t) {
    const std::string head = "snapshot " + std::to_string(t.id) + " of projector " + std::to_string(address) + ": ";
    if (!t.complete) return head + "incomplete, " + t.detail;
    std::string text = head + std::to_string(t.blocks) + " blocks, complete";
    if (t.repeated) text += ", as it was";
    if (!t.changes.Empty()) text += "; differs from snapshot " + std::to_string(t.previousId) + ":";
    return text;
}

}  // namespace ombrix
