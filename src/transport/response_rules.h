#pragma once

#include <string>
#include <string_view>

#include "json/json.h"

namespace quillbrook {

// The folder a message request means when it names none.
inline constexpr char kInboxFolder[] = "INBOX";

}  // namespace quillbrook

namespace quillbrook::MCPToolMapping {

// For "list_emails" and "read_email", a missing, non-string or empty "folder"
// becomes kInboxFolder; everything else passes through unchanged.
json::Value withFolderDefault(const std::string& action, json::Value params);

// Turns the agent's response line into its result object (`{}` when the answer
// carries none), or throws CLISocketError::server with the agent's code and message.
// The line is kept in the result, not copied.
json::Document parseResponse(std::string line);

}  // namespace quillbrook::MCPToolMapping
