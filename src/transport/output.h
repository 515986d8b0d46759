#pragma once

#include <string_view>

namespace quillbrook {

// Writes all of `bytes` to `fd`, however many calls it takes; false on failure.
bool writeAll(int fd, std::string_view bytes);

// Writes `line` and one line feed to `fd` in a single piece.
bool writeLine(int fd, std::string_view line);

// Writes all of `bytes` to standard output. Output that never reached its
// reader must not end as a success, so this throws std::runtime_error
// ("cannot write to standard output: " and the reason) when it cannot.
void writeStandardOutput(std::string_view bytes);

}  // namespace quillbrook
