#include "engine/check/check.h"

#include <string>

#include "engine/check/forms.h"
#include "engine/core/verify.h"

namespace nodeweave {

namespace {

thread_local bool checker_running = false;

}  // namespace

std::string at(const char* what, const char* kind, std::size_t where) {
    return std::string(what) + " (" + kind + " " + std::to_string(where) + ")";
}

// The forms in the order their checks rely on each other: the permutation and the id pools first,
// so that the vertex checks may follow slots and ids.
std::string check(const State& state) {
    struct Running {
        Running() { checker_running = true; }
        ~Running() { checker_running = false; }
    } running;
    std::string broken = check_permutation(state);
    if (broken.empty()) broken = check_blocks(state);
    if (broken.empty()) broken = check_tableaux(state);
    if (broken.empty()) broken = check_vertices(state);
    if (broken.empty()) broken = check_deferrals(state);
    return broken;
}

bool checking() noexcept { return checker_running; }

#ifdef NODEWEAVE_CHECKED
void verify(const State& state) {
    const std::string broken = check(state);
    if (!broken.empty()) throw Panic("internal invariant broken: " + broken);
}
#endif

}  // namespace nodeweave
