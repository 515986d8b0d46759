#pragma once

// The only JSON-RPC error codes the server answers with. Everything that goes
// wrong inside a tool is reported as a tool result instead.
namespace quillbrook::jsonrpc {

inline constexpr int kParseError = -32700;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;

}  // namespace quillbrook::jsonrpc
