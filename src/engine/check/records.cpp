#include "engine/check/forms.h"


namespace nodeweave {

std::string check_permutation(const State& state) {
    // Either slot q holds qubit q throughout, or the permutation covers every qubit.
    if (!state.permutation.kept()) return "";
    const std::size_t n = state.size();
    if (state.permutation.size() != n) return "the permutation does not cover every qubit";
    for (std::size_t q = 0; q < n; ++q) {
        // qubit -> slot -> qubit is the identity, so the map is a bijection.
        const Slot s = state.permutation.slot(q);
        if (index_of(s) >= n || state.permutation.qubit(s) != q) {
            return at("the two directions of the permutation are not inverse", "qubit", q);
        }
    }
    return "";
}

}  // namespace nodeweave
