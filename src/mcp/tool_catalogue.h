#pragma once

#include <optional>
#include <string_view>

#include "json/json.h"
#include "mcp/protocol_era.h"

namespace quillbrook {

// The result of "tools/list": { "tools": [...] } with the seven tools the
// assistant may call, always the same and in the same order. A legacy tool has
// its name, description and input schema; a modern one also its title and the
// annotations hosts read to decide which calls need a person's approval.
const json::Value& toolsListResult(Era era);

// The agent action behind a tool of the catalogue, or nothing for any other name.
std::optional<std::string_view> toolAction(std::string_view tool);

}  // namespace quillbrook
