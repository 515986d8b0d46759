#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillbrook::utf8 {

// U+FFFD, what a byte that means nothing is shown as.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence that starts `text` (no overlong
// forms, surrogates or code points past U+10FFFF), or 0.
std::size_t sequenceLength(std::string_view text);

bool isValid(std::string_view text);

// At most `characters` characters of `text`, each ill-formed byte replaced by
// U+FFFD, so that what is shown is always valid UTF-8 and never a split character.
std::string sanitized(std::string_view text, std::size_t characters = std::string_view::npos);

}  // namespace quillbrook::utf8
