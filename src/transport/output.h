#pragma once

#include <string_view>

#include "util/io.h"

namespace quillbrook {

// Writes `line` and one line feed to `fd` in a single piece.
bool writeLine(int fd, std::string_view line);

}  // namespace quillbrook
