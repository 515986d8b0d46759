#pragma once

#include <cstddef>
#include <string_view>

#include "json/json.h"

namespace quillbrook::dev_agent {

// The member that says how many entries of the list `name` an answer leaves
// out ("draftsOmitted" beside "drafts"); written only when some are.
inline constexpr std::string_view kOmittedSuffix = "Omitted";

// Shortens `result` until it takes at most `budget` bytes written compactly,
// escapes included; a result that fits is left as it is. First the longest
// texts are cut to one common length, at a character boundary, each ending in
// kCutNote; texts of up to a kilobyte (names, ids, dates) stay whole. When
// that cannot be enough, the longest list loses entries from its end and its
// object gains "<list>Omitted" with their number. Throws std::runtime_error
// for a result that cannot be made to fit (no list to shorten) or cannot be
// written at all.
void fitResult(json::Value& result, std::size_t budget);

}  // namespace quillbrook::dev_agent
