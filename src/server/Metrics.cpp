#include "Metrics.h"

#include <cstdio>
#include <sstream>

namespace ombrix::server {
namespace {

using nlohmann::json;

// A label value with backslash, quote and newline escaped.
std::string Label(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

std::string Text(const json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_null()) return "";
    return v.dump();
}

std::string Number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string Seconds(uint64_t ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu.%03llu", static_cast<unsigned long long>(ms / 1000),
                  static_cast<unsigned long long>(ms % 1000));
    return buf;
}

const char* ResultName(int result) {
    switch (result) {
        case 3: return "done";
        case 2: return "nack";
        case 1: return "no_answer";
        default: return "no_ack";
    }
}

}  // namespace

std::string RenderSeatMetrics(const SeatCounts& c) {
    std::ostringstream o;
    o << "# HELP ombrix_seats Programs at a seat of the service's line now.\n"
         "# TYPE ombrix_seats gauge\n"
         "ombrix_seats "
      << c.seats
      << "\n# HELP ombrix_seat_exchanges_total Request frames the service wrote for programs at a seat.\n"
         "# TYPE ombrix_seat_exchanges_total counter\n"
         "ombrix_seat_exchanges_total "
      << c.exchanges
      << "\n# HELP ombrix_seat_leases_total Times the line was lent to a program at a seat.\n"
         "# TYPE ombrix_seat_leases_total counter\n"
         "ombrix_seat_leases_total "
      << c.leases
      << "\n# HELP ombrix_seat_refused_total Writes refused to a seat: not a whole request frame, or outside its lease.\n"
         "# TYPE ombrix_seat_refused_total counter\n"
         "ombrix_seat_refused_total "
      << c.refused << "\n";
    return o.str();
}

void Metrics::CountExchange(int result, uint64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++exchanges_[static_cast<size_t>(result >= 0 && result <= 3 ? result : 0)];
    const double s = static_cast<double>(ms) / 1000.0;
    for (size_t i = 0; i < kBuckets.size(); ++i)
        if (s <= kBuckets[i]) ++buckets_[i];
    ++exchangeCount_;
    exchangeSumMs_ += ms;
}

void Metrics::SetCheckSeconds(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    checkSeconds_ = seconds;
}

std::string Metrics::Render(const EventHub& hub) const {
    std::ostringstream o;
    const auto projectors = hub.Projectors();
    std::lock_guard<std::mutex> lock(mutex_);
    // The projector series carry only the address, which identifies them: a projector
    // first seen in standby (model unknown) keeps its series when it wakes. What it is
    // goes on the info series.
    o << "# HELP ombrix_projector_up Whether the projector answers its status reads.\n"
         "# TYPE ombrix_projector_up gauge\n";
    // A lost projector, and every one while the line is down, is down.
    for (const json& p : projectors) {
        const bool up = !p.value("lost", false) && Text(p["state"]) != "unknown";
        o << "ombrix_projector_up{address=\"" << Text(p["address"]) << "\"} " << (up ? 1 : 0) << '\n';
    }
    o << "# HELP ombrix_projector_info The projector's model and software version, once it has been read awake.\n"
         "# TYPE ombrix_projector_info gauge\n";
    for (const json& p : projectors) {
        const std::string model = Text(p["model"]);
        if (model.empty() || model == "?") continue;
        o << "ombrix_projector_info{address=\"" << Text(p["address"]) << "\",model=\"" << Label(model)
          << "\",version=\"" << Label(Text(p["version"])) << "\"} 1\n";
    }
    o << "# HELP ombrix_projector_state The projector's state: 1 for the state it is in.\n"
         "# TYPE ombrix_projector_state gauge\n";
    for (const json& p : projectors) {
        const std::string state = Text(p["state"]);
        for (const char* s : {"Operating", "StandBy", "Pause"})
            o << "ombrix_projector_state{address=\"" << Text(p["address"]) << "\",state=\"" << s << "\"} "
              << (state == s ? 1 : 0) << '\n';
    }
    o << "# HELP ombrix_projector_running_seconds The projector's running time when last read (it counts whole "
         "hours).\n"
         "# TYPE ombrix_projector_running_seconds gauge\n";
    for (const json& p : projectors)
        if (p.contains("runtime") && p["runtime"].is_number_integer())
            o << "ombrix_projector_running_seconds{address=\"" << Text(p["address"]) << "\"} "
              << p["runtime"].get<int64_t>() * 3600 << '\n';
    o << "# HELP ombrix_line_up Whether the serial line is open.\n"
         "# TYPE ombrix_line_up gauge\n"
         "ombrix_line_up "
      << (hub.LineUp() ? 1 : 0) << '\n';
    o << "# HELP ombrix_exchanges_total Exchanges on the line by result.\n"
         "# TYPE ombrix_exchanges_total counter\n";
    for (int r = 3; r >= 0; --r)
        o << "ombrix_exchanges_total{result=\"" << ResultName(r) << "\"} " << exchanges_[static_cast<size_t>(r)]
          << '\n';
    o << "# HELP ombrix_exchange_seconds How long each exchange held the line.\n"
         "# TYPE ombrix_exchange_seconds histogram\n";
    for (size_t i = 0; i < kBuckets.size(); ++i)
        o << "ombrix_exchange_seconds_bucket{le=\"" << Number(kBuckets[i]) << "\"} " << buckets_[i] << '\n';
    o << "ombrix_exchange_seconds_bucket{le=\"+Inf\"} " << exchangeCount_ << '\n'
      << "ombrix_exchange_seconds_sum " << Seconds(exchangeSumMs_) << '\n'
      << "ombrix_exchange_seconds_count " << exchangeCount_ << '\n';
    o << "# HELP ombrix_background_check_seconds How long the last round of status reads took.\n"
         "# TYPE ombrix_background_check_seconds gauge\n"
         "ombrix_background_check_seconds "
      << Number(checkSeconds_) << '\n';
    return o.str();
}

}  // namespace ombrix::server
