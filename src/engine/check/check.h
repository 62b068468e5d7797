#pragma once
// The internal invariants of a simulator state, each stated once, where it is checked.

#include <string>

#include "engine/core/state.h"

namespace nodeweave {

// The first invariant `state` breaks, as a message saying which and where, or "" when it keeps
// them all. Reads only; allocates its own bookkeeping (std::bad_alloc when memory is short).
std::string check(const State& state);

// Whether check() is running on this thread, so that allocation counters can leave its own
// allocations out.
bool checking() noexcept;

}  // namespace nodeweave
