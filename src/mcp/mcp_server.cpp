#include "mcp/mcp_server.h"

namespace quillbrook {

void MCPServer::runSync() {}

}  // namespace quillbrook
