#pragma once

namespace quillbrook {

// The MCP server (being built): reads JSON-RPC lines on stdin until it ends.
class MCPServer {
public:
    void runSync();
};

}  // namespace quillbrook
