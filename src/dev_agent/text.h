#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// Mail often carries bytes that are not valid UTF-8 (a wrong charset label, a
// truncated sequence); every text the agent answers with passes through this, so
// the JSON writer never meets one. Invalid bytes become U+FFFD.
std::string toValidUtf8(std::string_view text);

// CRLF and lone CR become LF: answers carry text, not wire format.
std::string toUnixLineEnds(std::string_view text);

// The first `maxChars` characters of `text` with every run of white space folded
// to one blank, trimmed, and "…" appended when something was cut.
std::string snippetOf(std::string_view text, std::size_t maxChars);

// `text` in double quotes for an error message, cut to a readable length: a
// request may carry a megabyte where a name was expected.
std::string quotedText(std::string_view text);

// ASCII-only lower case: for e-mail addresses and folder names, never for prose.
std::string asciiLower(std::string_view text);

}  // namespace quillbrook::dev_agent
