#pragma once

#include <optional>
#include <string>

#include "json/reader.h"
#include "json/value.h"

namespace quillbrook::json {

// What was parsed is always writable, so the writers of views cannot fail. A
// built value can: nothing is written when one of its strings is not valid
// UTF-8 or a number is not finite.

// Command results: indented by two spaces, keys of every object sorted.
std::string writePrettySorted(View value);
std::optional<std::string> writePrettySorted(const Value& value);

// Agent requests, MCP answers and tool texts: compact, keys of every object sorted.
std::string writeCompactSorted(View value);
std::optional<std::string> writeCompactSorted(const Value& value);

}  // namespace quillbrook::json
