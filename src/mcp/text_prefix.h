#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillbrook {

// The first `count` characters (Unicode code points) of UTF-8 text, never
// cutting one in half. A byte that is not part of valid UTF-8 counts as one
// character and comes out as U+FFFD, so that the result is always valid text.
std::string leadingCharacters(std::string_view text, std::size_t count);

}  // namespace quillbrook
