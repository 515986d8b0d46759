#include "mcp/tool_mapping.h"

#include "mcp/tool_catalogue.h"

namespace quillbrook::MCPToolMapping {

std::optional<std::string> socketAction(std::string_view tool) {
    if (auto action = toolAction(tool)) {
        return std::string(*action);
    }
    return std::nullopt;
}

json::Value socketParams(std::string_view tool, json::Value arguments) {
    if (!arguments.isObject()) {
        return json::Value::object();
    }
    // The catalogue offers no paging, so an "offset" never reaches the agent.
    arguments.erase("offset");
    if (tool == "read_email") {
        if (json::Value* emailId = arguments.find("email_id")) {
            json::Value uid = std::move(*emailId);
            arguments.erase("email_id");
            arguments["uid"] = std::move(uid);
        }
    }
    return arguments;
}

}  // namespace quillbrook::MCPToolMapping
