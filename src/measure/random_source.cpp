#include "measure/random_source.h"

#if defined(__linux__)
#include <sys/random.h>
#endif
#if !defined(_WIN32)
#include <pthread.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <optional>
#include <random>

#include "engine/core/panic.h"
#include "measure/chacha.h"

namespace nodeweave {

#if defined(__linux__)
static bool read_urandom(unsigned char* buffer, std::size_t length) {
    std::FILE* file = std::fopen("/dev/urandom", "rb");
    if (file == nullptr) return false;
    const bool ok = std::fread(buffer, 1, length, file) == length;
    std::fclose(file);
    return ok;
}

bool read_entropy(std::array<std::uint32_t, 8>& key) {
    unsigned char* buffer = reinterpret_cast<unsigned char*>(key.data());
    const std::size_t length = sizeof(key);
    std::size_t filled = 0;
    while (filled < length) {
        const ssize_t got = getrandom(buffer + filled, length - filled, 0);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return read_urandom(buffer, length);
        }
    }
    return true;
}
#else
// Elsewhere the standard library's device is the system's generator (arc4random on macOS,
// RtlGenRandom on Windows).
bool read_entropy(std::array<std::uint32_t, 8>& key) {
    try {
        std::random_device device;
        for (std::uint32_t& word : key) word = device();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
#endif

bool (*entropy_source)(std::array<std::uint32_t, 8>& key) = read_entropy;

namespace {

constexpr std::uint32_t RESEED_AFTER_BUFFERS = 65536 / (ChaCha12Stream::BUFFER_WORDS * 4);

// How many times this process's line of ancestors has forked since the code was loaded. A child of
// fork holds a copy of its parent's generators, which would go on to draw exactly the parent's
// next words: every generator remembers the generation it was seeded in, and one of an earlier
// generation is replaced by a fresh one before it draws. The child runs the handler alone, before
// any of its code, so a relaxed increment suffices.
std::atomic<std::uint32_t> fork_generation{0};

void count_fork_in_child() { fork_generation.fetch_add(1, std::memory_order_relaxed); }

// Registers the handler once per copy of this code (the public module and the test-support module
// each have one), before the copy's first generator exists.
void watch_forks() {
#if !defined(_WIN32)  // Windows has no fork
    static const bool registered = pthread_atfork(nullptr, nullptr, count_fork_in_child) == 0;
    if (!registered) throw Panic("could not register the fork handler of the random generator");
#endif
}

struct ReseedingGenerator {
    ChaCha12Stream stream;
    std::uint32_t generation;
    std::uint32_t buffers_left = RESEED_AFTER_BUFFERS;

    std::uint32_t next() {
        if (stream.buffer_empty()) [[unlikely]] return next_buffer();
        return stream.next();
    }

    // Once every 64 words: a new buffer, and every 256 buffers a new key first.
    [[gnu::noinline]] std::uint32_t next_buffer() {
        if (buffers_left == 0) {
            std::array<std::uint32_t, 8> key;
            if (entropy_source(key)) stream.rekey(key);
            buffers_left = RESEED_AFTER_BUFFERS;
        }
        --buffers_left;
        return stream.next();
    }
};

// Seeds the calling thread's generator: on its first draw, and on the first after a fork.
[[gnu::noinline, gnu::cold]] void seed(std::optional<ReseedingGenerator>& generator,
                                       std::uint32_t generation) {
    // A generator inherited through fork is dropped even when no fresh one can be made: its words
    // are the parent's.
    generator.reset();
    watch_forks();
    std::array<std::uint32_t, 8> key;
    if (!entropy_source(key)) {
        throw Panic("could not read the operating system's entropy to seed the random generator");
    }
    generator.emplace(ReseedingGenerator{ChaCha12Stream(key), generation});
}

}  // namespace

std::uint32_t thread_random_word() {
    static thread_local std::optional<ReseedingGenerator> generator;
    // The thread's copy is looked up once: left to itself the compiler repeats the look-up (a call
    // into the dynamic loader's TLS code from a shared library) at every access.
    std::optional<ReseedingGenerator>* mine = &generator;
    asm("" : "+r"(mine));
    const std::uint32_t generation = fork_generation.load(std::memory_order_relaxed);
    if (!*mine || (*mine)->generation != generation) [[unlikely]] seed(*mine, generation);
    return (*mine)->next();
}

}  // namespace nodeweave
