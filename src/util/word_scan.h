#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Eight bytes at a time: text that is mostly plain ASCII is skipped word by
// word instead of byte by byte. Each test is exact for every byte of the word.
namespace quillbrook::word_scan {

inline constexpr std::size_t kWordBytes = 8;
inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

inline std::uint64_t load(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

inline bool isAscii(std::uint64_t word) { return (word & kHighBits) == 0; }
inline bool hasZeroByte(std::uint64_t word) { return ((word - kOnes) & ~word & kHighBits) != 0; }
inline bool hasByte(std::uint64_t word, unsigned char byte) { return hasZeroByte(word ^ (kOnes * byte)); }
// Exact for bounds up to 0x80, which covers the control characters.
inline bool hasByteBelow(std::uint64_t word, unsigned char bound) {
    return ((word - kOnes * bound) & ~word & kHighBits) != 0;
}

}  // namespace quillbrook::word_scan
