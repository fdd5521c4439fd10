// What the fuzz targets share: a broken invariant stops the run with a
// message, and libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define QM_FUZZ_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define QM_FUZZ_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#endif
#endif
#ifndef QM_FUZZ_POISON
#define QM_FUZZ_POISON(address, size) ((void)(address), (void)(size))
#define QM_FUZZ_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace fuzz {

[[noreturn]] inline void Fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "invariant broken: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::abort();
}

inline void Require(bool holds, const char* what, const std::string& detail = {}) {
    if (!holds) Fail(what, detail);
}

// Printable form of bytes for failure messages.
inline std::string Escaped(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// A buffer of a given capacity followed by a guard region. The guard is
// filled with a pattern and poisoned, so that AddressSanitizer reports any
// read or write there the moment it happens; Intact() also proves that
// nothing changed it. The buffer is placed so that its end, and so the
// guard's start, falls on the sanitizer's 8-byte granule: poisoning then
// covers the very first byte past the buffer.
class GuardedBuffer {
public:
    static constexpr std::size_t GuardSize = 64;
    static constexpr unsigned char Pattern = 0xA5;

    explicit GuardedBuffer(std::size_t capacity)
        : capacity_(capacity),
          offset_((Granule - capacity % Granule) % Granule),
          block_(new char[offset_ + capacity + GuardSize]) {
        std::memset(block_.get(), 0, offset_ + capacity_);
        std::memset(guard(), Pattern, GuardSize);
        QM_FUZZ_POISON(block_.get(), offset_);
        QM_FUZZ_POISON(guard(), GuardSize);
    }
    ~GuardedBuffer() {
        QM_FUZZ_UNPOISON(block_.get(), offset_);
        QM_FUZZ_UNPOISON(guard(), GuardSize);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    char* data() { return block_.get() + offset_; }
    std::size_t capacity() const { return capacity_; }
    std::string contents() const { return std::string(block_.get() + offset_, capacity_); }

    bool Intact() {
        QM_FUZZ_UNPOISON(guard(), GuardSize);
        bool intact = true;
        for (std::size_t i = 0; i < GuardSize; ++i)
            intact = intact && static_cast<unsigned char>(guard()[i]) == Pattern;
        QM_FUZZ_POISON(guard(), GuardSize);
        return intact;
    }

private:
    static constexpr std::size_t Granule = 8;
    char* guard() { return block_.get() + offset_ + capacity_; }

    std::size_t capacity_;
    std::size_t offset_;
    std::unique_ptr<char[]> block_;
};

}  // namespace fuzz
