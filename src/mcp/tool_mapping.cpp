#include "mcp/tool_mapping.h"

#include <array>
#include <utility>

namespace quillbrook::MCPToolMapping {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kActions{{
    {"list_accounts", "list_accounts"},
    {"list_folders", "list_folders"},
    {"list_emails", "list_emails"},
    {"read_email", "read_email"},
    {"list_drafts", "list_local_drafts"},
    {"read_draft", "read_local_draft"},
    {"create_draft", "create_draft"},
}};

}  // namespace

std::optional<std::string> socketAction(std::string_view tool) {
    for (const auto& [name, action] : kActions) {
        if (name == tool) {
            return std::string(action);
        }
    }
    return std::nullopt;
}

json::Value socketParams(std::string_view tool, json::Value arguments) {
    if (!arguments.is_object()) {
        return json::Value::object();
    }
    // The catalogue offers no paging, so an "offset" never reaches the agent.
    arguments.erase("offset");
    if (tool == "read_email") {
        if (auto emailId = arguments.find("email_id"); emailId != arguments.end()) {
            json::Value uid = std::move(*emailId);
            arguments.erase(emailId);
            arguments["uid"] = std::move(uid);
        }
    }
    return arguments;
}

}  // namespace quillbrook::MCPToolMapping
