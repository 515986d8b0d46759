#include "dev_agent/text.h"

#include <array>
#include <cstdint>

namespace quillbrook::dev_agent {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t validSequenceLength(std::string_view s) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length;
    std::uint32_t cp;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (s.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    static constexpr std::array<std::uint32_t, 5> kMinimum = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

std::string toValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        std::size_t length = validSequenceLength(text);
        if (length == 0) {
            out.append(kReplacement);
            length = 1;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

std::string toUnixLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string snippetOf(std::string_view text, std::size_t maxChars) {
    std::string out;
    std::size_t chars = 0;
    bool pendingBlank = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (isBlank(c)) {
            pendingBlank = !out.empty();
            continue;
        }
        bool startsCharacter = !isContinuationByte(c);
        if (startsCharacter && chars + (pendingBlank ? 1 : 0) >= maxChars) {
            out.append("…");
            return out;
        }
        if (pendingBlank && startsCharacter) {
            out.push_back(' ');
            ++chars;
            pendingBlank = false;
        }
        chars += startsCharacter ? 1 : 0;
        out.push_back(c);
    }
    return out;
}

std::string quotedText(std::string_view text) {
    constexpr std::size_t kMaxQuotedChars = 80;
    std::string out = "\"";
    out += text.size() <= kMaxQuotedChars ? std::string(text) : snippetOf(text, kMaxQuotedChars);
    out += '"';
    return out;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace quillbrook::dev_agent
