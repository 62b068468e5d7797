#pragma once
// The engine's self-check at the end of each entry operation. In a build with NODEWEAVE_CHECKED
// `verify` runs the invariant checker (engine/check/check.h) and throws
// Panic("internal invariant broken: ...") when the state breaks one; otherwise it costs nothing.

namespace nodeweave {

struct State;

#ifdef NODEWEAVE_CHECKED
void verify(const State& state);
#else
inline void verify(const State&) noexcept {}
#endif

}  // namespace nodeweave
