#pragma once

// The only JSON-RPC error codes the server answers with. Everything that goes
// wrong inside a tool is reported as a tool result instead; only running out
// of memory while serving a message is an internal error.
namespace quillbrook::jsonrpc {

inline constexpr int kParseError = -32700;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;

}  // namespace quillbrook::jsonrpc
