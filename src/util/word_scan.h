#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Eight bytes at a time: text that is mostly plain ASCII is skipped word by
// word instead of byte by byte. Each test is exact for every byte of the word.
namespace quillbrook::word_scan {

inline constexpr std::size_t kWordBytes = 8;
inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// The first byte in memory is the lowest of the word, on every machine.
inline std::uint64_t load(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

inline bool isAscii(std::uint64_t word) { return (word & kHighBits) == 0; }

// The masks below set the high bit of the first byte that matches, and maybe of
// later bytes too (a borrow can spill upwards, never downwards): whether a mask
// is zero is exact, and so is its lowest set bit.
inline std::uint64_t zeroByteMask(std::uint64_t word) { return (word - kOnes) & ~word & kHighBits; }
inline std::uint64_t byteMask(std::uint64_t word, unsigned char byte) { return zeroByteMask(word ^ (kOnes * byte)); }
// Exact for bounds up to 0x80, which covers the control characters.
inline std::uint64_t byteBelowMask(std::uint64_t word, unsigned char bound) {
    return (word - kOnes * bound) & ~word & kHighBits;
}

inline bool hasByte(std::uint64_t word, unsigned char byte) { return byteMask(word, byte) != 0; }

// How many bytes of a loaded word come before the first byte that a mask
// marks; kWordBytes when it marks none.
inline std::size_t bytesBeforeMark(std::uint64_t mask) { return static_cast<std::size_t>(std::countr_zero(mask)) / 8; }

}  // namespace quillbrook::word_scan
