#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

// A fuzz input that starts with the byte 0xFF (which no UTF-8 text starts with)
// is a small program that writes a large text: two bytes of repeat count
// (little-endian), one byte of prefix length, the prefix, then a unit repeated
// that often, up to kMaxRepeatedInput bytes. Any other input is the text itself.
// Recursion whose depth the input chooses, and scans that cost the square of
// the length, show only at hundreds of kilobytes, which mutating a small seed
// byte by byte never reaches; a seed of a few bytes here stands for "g:"
// nested 60,000 deep, and a mutation of it for another such pattern.
inline constexpr std::size_t kMaxRepeatedInput = 1024 * 1024;

inline std::string repeatedInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.size() < 4 || static_cast<std::uint8_t>(input[0]) != 0xFF) {
        return std::string(input);
    }
    const std::size_t count = static_cast<std::uint8_t>(input[1]) | static_cast<std::uint8_t>(input[2]) << 8;
    const std::string_view rest = input.substr(4);
    const std::string_view prefix = rest.substr(0, static_cast<std::uint8_t>(input[3]));
    const std::string_view unit = rest.substr(prefix.size());
    std::string text(prefix);
    const std::size_t copies = unit.empty() ? 0 : std::min(count, (kMaxRepeatedInput - text.size()) / unit.size());
    text.reserve(text.size() + copies * unit.size());
    for (std::size_t i = 0; i < copies; ++i) {
        text.append(unit);
    }
    return text;
}
