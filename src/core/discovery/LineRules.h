#pragma once
// Two rules every program on the line follows, whatever shows their outcome: what a
// search concludes from the answers it heard, and how a lost line is had back.
#include <cstdint>
#include <functional>

#include "app/Program.h"
#include "discovery/Search.h"
#include "platform/Dispatcher.h"

namespace ombrix {

// What a search came to, from which the program decides what it does next.
enum class SearchVerdict {
    Skipped,        // the search mode is "Skip Search": nothing was asked
    Found,          // every address asked, and at least one projector answered
    NobodyThere,    // every address asked, nobody answered: warning 18 said, search now off
    LineLost,       // the line went while searching: said once; search again once it is back
    LineUnquiet,    // the line kept talking: said once; the search mode stays
    SetUnreadable,  // the address set could not be read: said; the search mode stays
    Abandoned,      // the program is ending: nothing concluded
};

// The one conclusion drawn from a search that has run: only a search that asked its
// addresses and heard nobody says warning 18 and switches the search off, so a line that
// failed meanwhile never leaves "Skip Search" behind for the next start.
SearchVerdict ConcludeSearch(ProgramState& state, bool found, bool abandoned);

// The whole search: skipped in "Skip Search" mode, otherwise each address asked with
// probe (the configured way when empty), then concluded. abandon, looked at before each
// address, ends it early with nothing concluded.
SearchVerdict RunSearchRule(ProgramState& state, AddressProbe probe, const std::function<bool()>& abandon);

// An unattended program tries to have a lost line back this often, quietly.
constexpr uint32_t kReopenEveryMs = 3000;
constexpr uint32_t kSettleAfterReopenMs = 200;

// One quiet try (no box): the line closed and opened again, then given a moment; a device
// server that takes the connection and hangs up at once is not back. shared: another
// thread reads the line too, so its loss is asked under the line's lock.
bool ReopenLineQuietly(const Env& env, Link& link, unsigned owner, bool shared);

// Tries every kReopenEveryMs on the queue's timer timerId until the line is back, then
// runs back on the queue. The queue's owner kills the timer to stop trying.
void KeepReopening(TaskQueue& queue, int timerId, const Env& env, Link& link, unsigned owner, bool shared,
                   std::function<void()> back);

}  // namespace ombrix
