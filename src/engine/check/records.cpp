#include "engine/check/forms.h"


namespace nodeweave {

std::string check_permutation(const State& state) {
    const std::size_t n = state.size();
    // Either slot q holds qubit q throughout, or both directions of the permutation are kept.
    if (state.slot_of.size() != state.qubit_of.size()) return "slot_of and qubit_of differ in size";
    if (state.slot_of.empty()) return "";
    if (state.slot_of.size() != n) return "the permutation does not cover every qubit";
    for (std::size_t q = 0; q < n; ++q) {
        // qubit -> slot -> qubit is the identity, so the map is a bijection.
        if (index_of(state.slot_of[q]) >= n || state.qubit_of[state.slot_of[q]] != q) {
            return at("slot_of and qubit_of are not inverse", "qubit", q);
        }
    }
    return "";
}

}  // namespace nodeweave
