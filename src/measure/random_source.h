#pragma once
// The per-thread random source of measurement outcomes: a ChaCha12 generator private to each
// operating-system thread, seeded from the system's entropy on the thread's first draw and
// reseeded after every 65,536 bytes of output. A child process made by fork does not go on with
// its parent's generator: its first draw seeds a fresh one. There is deliberately no user seed.

#include <array>
#include <cstdint>

namespace nodeweave {

// Fills `key` from getrandom, falling back to /dev/urandom; false when neither can be read.
bool read_entropy(std::array<std::uint32_t, 8>& key);

// Where the generators take their seeds: read_entropy. The test-support module, which has its own
// copy of this code, points its copy elsewhere to show what a failed read does.
extern bool (*entropy_source)(std::array<std::uint32_t, 8>& key);

// The next 32-bit word of the calling thread's generator. Throws Panic when the generator cannot
// be seeded on this thread's first draw, or on the first draw after a fork; a failed later reseed
// keeps the current keystream.
std::uint32_t thread_random_word();

// Draws from the calling thread's generator; the engine takes randomness through such a callable.
struct ThreadRandom {
    std::uint32_t operator()() const { return thread_random_word(); }
};

}  // namespace nodeweave
