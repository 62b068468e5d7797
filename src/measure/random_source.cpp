#include "measure/random_source.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <sys/random.h>

#include "engine/panic.h"
#include "measure/chacha.h"

namespace nodeweave {

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

bool (*entropy_source)(std::array<std::uint32_t, 8>& key) = read_entropy;

namespace {

constexpr std::uint32_t RESEED_AFTER_BUFFERS = 65536 / (ChaCha12Stream::BUFFER_WORDS * 4);

struct ReseedingGenerator {
    ChaCha12Stream stream;
    std::uint32_t buffers_left = RESEED_AFTER_BUFFERS;

    std::uint32_t next() {
        if (stream.buffer_empty()) {
            if (buffers_left == 0) {
                std::array<std::uint32_t, 8> key;
                if (entropy_source(key)) stream.rekey(key);
                buffers_left = RESEED_AFTER_BUFFERS;
            }
            --buffers_left;
        }
        return stream.next();
    }
};

}  // namespace

std::uint32_t thread_random_word() {
    static thread_local std::optional<ReseedingGenerator> generator;
    if (!generator) [[unlikely]] {
        std::array<std::uint32_t, 8> key;
        if (!entropy_source(key)) {
            throw Panic("could not read the operating system's entropy to seed the random generator");
        }
        generator.emplace(ReseedingGenerator{ChaCha12Stream(key)});
    }
    return generator->next();
}

}  // namespace nodeweave
