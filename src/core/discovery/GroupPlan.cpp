#include "discovery/GroupPlan.h"

#include "discovery/QuickSearch.h"
#include "link/Frame.h"

namespace ombrix {

std::vector<MemberOutcome> PlanGroupMembers(Link& link, const std::vector<uint8_t>& members, bool needsOperating,
                                            const std::function<bool()>& stop) {
    std::vector<MemberOutcome> plan;
    bool asking = needsOperating;
    for (uint8_t a : members) {
        MemberOutcome m;
        m.address = a;
        if (asking && stop && stop()) asking = false;
        if (asking) {
            StatusFlags flags;
            const uint64_t start = link.clock.TickMs();
            const QuickProbeResult r = QuickProbe(link, a, kReplyTimeoutMs, &flags);
            if (!r.statusRead) {
                m.skipped = MemberSkip::NotConnected;
                // Its late reply must not pass for a member's acknowledgement of the command.
                if (!r.answered) link.lateReplyUntil = start + kLateReplyMaxMs;
            } else if (flags.standby) {
                m.skipped = MemberSkip::Standby;
            }
        }
        plan.push_back(m);
    }
    return plan;
}

}  // namespace ombrix
