#include "discovery/LineRules.h"

#include <utility>

#include "discovery/QuickSearch.h"
#include "link/Link.h"

namespace ombrix {

SearchVerdict ConcludeSearch(ProgramState& s, bool found, bool abandoned) {
    if (abandoned) return SearchVerdict::Abandoned;
    switch (s.lastSearch) {
        case SearchEnd::LineLost: return SearchVerdict::LineLost;
        case SearchEnd::LineUnquiet: return SearchVerdict::LineUnquiet;
        case SearchEnd::SetUnreadable: return SearchVerdict::SetUnreadable;
        case SearchEnd::Completed: break;
    }
    if (found) return SearchVerdict::Found;
    ConcludeSearchFoundNobody(s);
    return SearchVerdict::NobodyThere;
}

SearchVerdict RunSearchRule(ProgramState& s, AddressProbe probe, const std::function<bool()>& abandon) {
    if (SearchSkipped(s.options)) return SearchVerdict::Skipped;
    if (!probe) probe = ConfiguredSearchProbe(s);
    bool abandoned = false;
    const bool found = SearchConnectedProjectors(s, [&](int32_t address, ProjectorRecord* record) {
        if (abandon && abandon()) {
            abandoned = true;
            ProbeOutcome out;
            out.abandon = true;
            return out;
        }
        return probe(address, record);
    });
    return ConcludeSearch(s, found, abandoned);
}

bool ReopenLineQuietly(const Env& env, Link& link, unsigned owner, bool shared) {
    Env quiet = env;
    quiet.ui = nullptr;
    // Whoever shares the line (a service's seats, its status reader) uses the device under
    // the bus lock: it is replaced under it too.
    link.lock.AcquireForeground();
    CloseConnection(link, owner);
    const bool opened = SetupConnection(quiet, link, owner) != 0;
    link.lock.ReleaseForeground(false);
    if (!opened) return false;
    link.clock.WaitMs(kSettleAfterReopenMs);
    return !(shared ? LineLostShared(link, false) : LineLost(link));
}

void KeepReopening(TaskQueue& queue, int timerId, const Env& env, Link& link, unsigned owner, bool shared,
                   std::function<void()> back) {
    queue.StartTimer(timerId, kReopenEveryMs, [&queue, timerId, env, &link, owner, shared, back = std::move(back)] {
        if (ReopenLineQuietly(env, link, owner, shared)) {
            back();
        } else {
            KeepReopening(queue, timerId, env, link, owner, shared, back);
        }
    });
}

}  // namespace ombrix
