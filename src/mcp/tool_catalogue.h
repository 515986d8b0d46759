#pragma once

#include <optional>
#include <string_view>

#include "json/json.h"

namespace quillbrook {

// The result of "tools/list": { "tools": [...] } with the seven tools the
// assistant may call, always the same and in the same order.
const json::Value& toolsListResult();

// The agent action behind a tool of the catalogue, or nothing for any other name.
std::optional<std::string_view> toolAction(std::string_view tool);

}  // namespace quillbrook
