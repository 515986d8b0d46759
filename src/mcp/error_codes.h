#pragma once

#include <optional>
#include <string>

#include "json/json.h"

// The only JSON-RPC errors the server answers with. Everything that goes wrong
// inside a tool is reported as a tool result instead; only running out of
// memory while serving a message is an internal error.
namespace quillbrook::jsonrpc {

inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
inline constexpr int kUnsupportedProtocolVersion = -32022;

// An error answered instead of a result; `data` is written only when present.
struct Error {
    int code;
    std::string message;
    std::optional<json::Value> data = std::nullopt;
};

}  // namespace quillbrook::jsonrpc
