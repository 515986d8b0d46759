#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// CRLF and lone CR become LF: answers carry text, not wire format.
std::string toUnixLineEnds(std::string_view text);

// How much of a message's text a list shows.
inline constexpr std::size_t kSnippetChars = 140;

// The first `maxChars` characters of `text` with every run of white space folded
// to one blank, trimmed, and "…" appended when something was cut.
std::string snippetOf(std::string_view text, std::size_t maxChars);

// `text` in double quotes for an error message, cut to a readable length: a
// request may carry a megabyte where a name was expected.
std::string quotedText(std::string_view text);

// The longest start of the UTF-8 `text` that fits in `maxBytes` and ends at a
// character boundary.
std::string_view startWithin(std::string_view text, std::size_t maxBytes);

// The line that ends the text of a message shown only in part.
inline constexpr std::string_view kCutNote = "\n\n[The message is too large to show whole; the rest is cut.]\n";

// ASCII-only lower case: for e-mail addresses and folder names, never for prose.
std::string asciiLower(std::string_view text);

// The name of each item, joined by ", ": the lists that error messages offer.
template <typename Items, typename Name>
std::string commaJoined(const Items& items, Name name) {
    std::string joined;
    for (const auto& item : items) {
        if (!joined.empty()) {
            joined += ", ";
        }
        joined += name(item);
    }
    return joined;
}

}  // namespace quillbrook::dev_agent
