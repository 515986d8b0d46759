#pragma once

#include <string_view>

#include "util/io.h"

namespace quillbrook {

// Writes `line` and one line feed to `fd` in a single piece.
bool writeLine(int fd, std::string_view line);

// Writes all of `bytes` to standard output. Output that never reached its
// reader must not end as a success, so this throws std::runtime_error
// ("cannot write to standard output: " and the reason) when it cannot.
void writeStandardOutput(std::string_view bytes);

}  // namespace quillbrook
