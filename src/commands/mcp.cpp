#include "commands/mcp.h"

#include "mcp/mcp_server.h"

namespace quillbrook {

CommandDefinition mcpCommand() {
    return {
        .name = "mcp",
        .abstract = "Start MCP (Model Context Protocol) server \u2014 thin shim over agent.sock",
        .run = [](const Arguments&) { MCPServer().runSync(); },
    };
}

}  // namespace quillbrook
