#pragma once
// The numbers a monitoring system scrapes at /metrics, in the Prometheus text format.
// Exchanges are counted from whichever thread ran them; the projectors' gauges are the
// event hub's kept states, labelled with the identity the service keeps for each.
#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "service/EventHub.h"
#include "service/SeatHost.h"

namespace ombrix::server {

// The seats' counters: exchanges and leases for programs beside the service.
std::string RenderSeatMetrics(const SeatCounts& counts);

class Metrics {
public:
    // Histogram bounds of ombrix_exchange_seconds.
    static constexpr std::array<double, 8> kBuckets{0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5};

    void CountExchange(int result, uint64_t ms);
    void SetCheckSeconds(double seconds);
    // Projectors from the hub's current state, the rest from the counters.
    std::string Render(const EventHub& hub) const;

private:
    mutable std::mutex mutex_;
    std::array<uint64_t, 4> exchanges_{};  // by result 0-3
    std::array<uint64_t, kBuckets.size()> buckets_{};
    uint64_t exchangeCount_ = 0;
    // Kept in whole milliseconds, so the sum printed is exact.
    uint64_t exchangeSumMs_ = 0;
    double checkSeconds_ = 0;
};

}  // namespace ombrix::server
