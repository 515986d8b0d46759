#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "json/json.h"

// Where MCP names and agent names differ: tool names against actions, and the
// arguments that are renamed or dropped on the way to the agent.
namespace quillbrook::MCPToolMapping {

// The agent action behind a tool of the catalogue (its row holds it), or nothing
// for any other name.
std::optional<std::string> socketAction(std::string_view tool);

// The agent parameters for a call: the arguments as given, without "offset",
// and for "read_email" with "email_id" moved to "uid". Nothing is validated.
json::Value socketParams(std::string_view tool, json::Value arguments);

}  // namespace quillbrook::MCPToolMapping
