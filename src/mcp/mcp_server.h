#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "json/json.h"
#include "mcp/error_codes.h"
#include "mcp/protocol_era.h"
#include "transport/agent_socket_client.h"
#include "util/version.h"

namespace quillbrook {

// The MCP server: one JSON-RPC message a line on standard input, one answer
// line on standard output, log lines on standard error. Messages are handled
// one at a time, in arrival order, and nothing in them changes the server.
class MCPServer {
public:
    // An absent id is distinct from a JSON null one: only a present id is echoed.
    using Id = std::optional<json::Value>;

    // What an answer depends on besides its result: the id it echoes and the
    // era it is written in.
    struct Request {
        Id id;
        Era era = Era::legacy;
    };

    // Whether a modern result may be kept and shared by the client: only what
    // is the same for every caller and every call.
    enum class Caching { none, shared };

    MCPServer();

    // Serves messages until standard input ends.
    void runSync();

    // The answer line (without its line feed) for one input line, or nothing
    // for the notifications that get no answer. Public so that dispatch can be
    // exercised without a process around it.
    std::optional<std::string> handleMessageSync(std::string_view line) const;

    // The *Sync names are kept for their callers.
    std::string handleInitialize(const Request& request, json::View params) const;
    void handleInitialized() const;
    std::string handleDiscover(const Request& request) const;
    std::string handleToolsList(const Request& request) const;
    std::string handleToolsCallSync(const Request& request, json::View params) const;
    // What one tool call came to: its text, written as a JSON string, and the
    // agent's result written compactly, or nothing when the agent failed (the
    // text then says how).
    struct ToolOutcome {
        std::string text;
        std::optional<std::string> result;
    };
    // Performs one tool call; throws MCPError for a name outside the catalogue
    // of `era` and for an argument the server reads itself but cannot use.
    ToolOutcome callToolSync(const std::string& name, json::Value arguments, Era era) const;

    // A result answer; a modern one gains the members its era adds to every result.
    std::string makeResponse(const Request& request, json::Value result, Caching caching = Caching::none) const;
    static std::string makeErrorResponse(const Id& id, int code, std::string_view message,
                                         std::optional<json::Value> data = std::nullopt);

private:
    // The agent requests of one tool call; returns the last result.
    json::Document perform(const std::string& name, json::Value arguments) const;
    json::Value withEraMembers(Era era, json::Value result, Caching caching) const;
    json::Value serverInfo() const;
    void log(std::string_view text) const;
    void logVerbose(std::string_view text) const;

    const AgentSocketClient client_;
    const std::string serverName_ = "Quillbrook";
    const std::string serverVersion_ = kVersion;
    const std::string protocolVersion_{kLegacyProtocolVersion};
    const bool verboseLog_;
};

}  // namespace quillbrook
