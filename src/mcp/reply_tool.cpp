#include "mcp/reply_tool.h"

#include <cstdint>
#include <optional>
#include <string>

#include "mcp/mcp_error.h"

namespace quillbrook {

namespace {

// A string argument; an absent or null one is nothing.
std::optional<std::string> optionalString(const json::Value& arguments, const char* name) {
    const json::Value* value = arguments.find(name);
    if (value == nullptr || value->isNull()) {
        return std::nullopt;
    }
    if (!value->isString()) {
        throw MCPError::invalidArgument(name, "must be a string");
    }
    return value->string();
}

std::string requiredString(const json::Value& arguments, const char* name) {
    if (auto text = optionalString(arguments, name)) {
        return std::move(*text);
    }
    throw MCPError::invalidArgument(name, "is required");
}

// Assistants often send a UID as the number it looks like.
std::string messageId(const json::Value& arguments) {
    const json::Value* value = arguments.find("email_id");
    if (value != nullptr && value->kind() == json::Kind::uint64) {
        return std::to_string(value->uint64());
    }
    if (value != nullptr && value->kind() == json::Kind::int64 && value->int64() >= 0) {
        return std::to_string(value->int64());
    }
    return requiredString(arguments, "email_id");
}

}  // namespace

ReplyRequest replyRequest(const json::Value& arguments) {
    return {
        .messageId = messageId(arguments),
        .folder = optionalString(arguments, "folder").value_or(""),
        .body = requiredString(arguments, "body"),
        .to = optionalString(arguments, "to"),
        .subject = optionalString(arguments, "subject"),
        .target = optionalString(arguments, "target").value_or("local"),
        .account = optionalString(arguments, "account"),
    };
}

}  // namespace quillbrook
