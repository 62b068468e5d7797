#pragma once
// The engine's one kind of internal failure. The Python boundary turns it into PanicException.

#include <cstddef>
#include <stdexcept>
#include <string>

namespace nodeweave {

class Panic : public std::runtime_error {
public:
    explicit Panic(const std::string& message) : std::runtime_error(message) {}
};

// Raises the failure for an index outside a sequence of `len` elements.
[[noreturn]] void throw_index_out_of_bounds(std::size_t len, std::size_t index);

}  // namespace nodeweave
