#include "dev_agent/base/text.h"

#include "util/ascii.h"

namespace quillbrook::dev_agent {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

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
        if (isAsciiSpace(c)) {
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

std::string_view startWithin(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t end = maxBytes;
    while (end > 0 && isContinuationByte(text[end])) {
        --end;
    }
    return text.substr(0, end);
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
