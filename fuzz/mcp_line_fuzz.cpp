// One MCP input line through the whole message handling: an answer or none,
// never a crash, and every answer one line that the strict reader accepts
// again as a JSON-RPC 2.0 message. Tool calls reach an agent that answers with
// the request it got, so the arguments also travel the result path back.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "check.h"
#include "json/json.h"
#include "mcp/mcp_server.h"
#include "support/canned_agent.h"

namespace {

using namespace quillbrook;

const MCPServer& server() {
    static const auto agent = std::make_unique<fuzz_support::CannedAgent>(fuzz_support::echoResult);
    static const MCPServer instance = [] {
        ::setenv("QUILLBROOK_SOCKET", agent->socketPath().c_str(), 1);
        return MCPServer();
    }();
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    // The server reads lines: a line feed would end this one, and the line
    // reader drops a carriage return before it.
    if (line.find('\n') != std::string_view::npos) {
        return 0;
    }
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return 0;
    }
    auto answer = server().handleMessageSync(line);
    if (!answer) {
        return 0;
    }
    FUZZ_CHECK(answer->find('\n') == std::string::npos);
    auto document = json::parseStrict(*answer);
    FUZZ_CHECK(document && document->root().isObject());
    auto version = document->root().find("jsonrpc");
    FUZZ_CHECK(version && version->string() == "2.0");
    FUZZ_CHECK(document->root().find("result").has_value() != document->root().find("error").has_value());
    return 0;
}
