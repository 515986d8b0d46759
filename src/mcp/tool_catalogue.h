#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "json/json.h"
#include "mcp/protocol_era.h"

namespace quillbrook {

// The result of "tools/list": { "tools": [...] } with the tools the assistant
// may call, always the same and in the same order: the seven of the legacy era,
// and for modern clients "reply_draft" too. A legacy tool has its name,
// description and input schema; a modern one also its title, its output schema
// and the annotations hosts read to decide which calls need a person's approval.
const json::Value& toolsListResult(Era era);

// The one agent action behind a tool of the catalogue, or nothing for any other
// name and for a tool that takes more than one request.
std::optional<std::string_view> toolAction(std::string_view tool);

// Whether a client of `era` is offered `tool`.
bool isOffered(std::string_view tool, Era era);

// The arguments of `tool` that only the modern era knows; they are the server's
// own and never reach the agent.
std::vector<std::string_view> modernArguments(std::string_view tool);

}  // namespace quillbrook
