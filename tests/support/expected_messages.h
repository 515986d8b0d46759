#pragma once

#include <string>

// The exact texts the programs write, as users and MCP clients see them. Tests
// spell them here, once, and never take them from the code under test.
namespace quillbrook::test_support {

// One-line failures of an exchange with the agent, without their line feed.
inline const std::string kConnectFailed =
    "Quillbrook is not running or Local Agent Access is disabled (Quillbrook \u2192 Settings \u2192 Local Agent "
    "Access)";
inline const std::string kConnectionLost = "connection_lost: Quillbrook closed the connection mid-request";
inline const std::string kResponseTooLarge = "response_too_large: response exceeded the one-line framing limit";
inline const std::string kBadResponse = "bad_response: unparseable server response";
inline const std::string kCannotSerialize = "bad_request: could not serialize request";

// The MCP server's answer to a line that is not one JSON object.
inline const std::string kParseError = R"({"error":{"code":-32700,"message":"Parse error"},"jsonrpc":"2.0"})";
// Its answer to a message that found no memory to be served in.
inline const std::string kInternalError = R"({"error":{"code":-32603,"message":"Internal error"},"jsonrpc":"2.0"})";
// The MCP server's first and last log lines on standard error.
inline const std::string kMcpStarting = "[MCP] Quillbrook MCP Server starting...\n";
inline const std::string kMcpExiting = "[MCP] stdin closed, server exiting\n";

}  // namespace quillbrook::test_support
