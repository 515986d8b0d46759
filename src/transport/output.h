#pragma once

#include <string_view>

namespace quillbrook {

// Writes all of `bytes` to `fd`, however many calls it takes; false on failure.
bool writeAll(int fd, std::string_view bytes);

// Writes `line` and one line feed to `fd` in a single piece.
bool writeLine(int fd, std::string_view line);

}  // namespace quillbrook
