#include "util/utf8.h"

#include <cstdint>

#include "util/word_scan.h"

namespace quillbrook::utf8 {

namespace {

// The lead bytes of multi-byte sequences: the bits that mark one, how long
// its sequence is, and the smallest code point it may carry.
struct LeadByte {
    unsigned char mask;
    unsigned char marker;
    std::size_t length;
    std::uint32_t minimum;
};
constexpr LeadByte kLeadBytes[] = {
    {0xE0, 0xC0, 2, 0x80},
    {0xF0, 0xE0, 3, 0x800},
    {0xF8, 0xF0, 4, 0x10000},
};

}  // namespace

std::size_t sequenceLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        return 1;
    }
    for (const LeadByte& kind : kLeadBytes) {
        if ((lead & kind.mask) != kind.marker) {
            continue;
        }
        if (text.size() < kind.length) {
            return 0;
        }
        std::uint32_t codePoint = lead & static_cast<unsigned char>(~kind.mask);
        for (std::size_t i = 1; i < kind.length; ++i) {
            auto continuation = static_cast<unsigned char>(text[i]);
            if ((continuation & 0xC0) != 0x80) {
                return 0;
            }
            codePoint = (codePoint << 6) | (continuation & 0x3Fu);
        }
        bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        bool valid = codePoint >= kind.minimum && codePoint <= 0x10FFFF && !surrogate;
        return valid ? kind.length : 0;
    }
    return 0;
}

bool isValid(std::string_view text) {
    while (!text.empty()) {
        // Mail and JSON are mostly ASCII: skip it eight bytes at a time.
        if (text.size() >= word_scan::kWordBytes && word_scan::isAscii(word_scan::load(text.data()))) {
            text.remove_prefix(word_scan::kWordBytes);
            continue;
        }
        std::size_t length = sequenceLength(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

std::string sanitized(std::string_view text, std::size_t characters) {
    std::string out;
    out.reserve(std::min(text.size(), characters));
    for (std::size_t taken = 0; taken < characters && !text.empty(); ++taken) {
        std::size_t length = sequenceLength(text);
        if (length == 0) {
            out.append(kReplacementCharacter);
            length = 1;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace quillbrook::utf8
