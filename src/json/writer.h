#pragma once

#include <cstddef>
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

// Agent requests and MCP answers: compact, keys of every object sorted.
std::string writeCompactSorted(View value);
std::optional<std::string> writeCompactSorted(const Value& value);

// Tool result texts: the compact sorted text written as one JSON string, quoted
// and escaped in the same pass, to stand in an answer through preWritten().
std::string writeCompactSortedAsString(View value);
std::optional<std::string> writeCompactSortedAsString(const Value& value);

// The bytes one byte of a string takes as the compact and pretty writers write
// it: 1, or the length of its escape (2 for a quote, 6 for most controls).
std::size_t writtenByteSize(char byte);

}  // namespace quillbrook::json
