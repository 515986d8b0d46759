#include <array>

#include "mcp/error_codes.h"
#include "mcp/mcp_server.h"

namespace quillbrook {

namespace {

// One decoded JSON-RPC message. The views point into the parsed line.
struct Message {
    MCPServer::Id id;
    std::string_view method;
    json::View params;
};

}  // namespace

std::optional<std::string> MCPServer::handleMessageSync(std::string_view line) const {
    using Handler = std::optional<std::string> (*)(const MCPServer&, const Message&);
    struct Method {
        std::string_view name;
        Handler handle;
    };
    // Whether a known method is answered depends on the method alone, never on its id.
    static constexpr std::array kMethods = {
        Method{"initialize", [](const MCPServer& s, const Message& m) -> std::optional<std::string> {
                   return s.handleInitialize(m.id, m.params);
               }},
        Method{"notifications/initialized", [](const MCPServer& s, const Message&) -> std::optional<std::string> {
                   s.logVerbose("Client initialized");
                   return std::nullopt;
               }},
        Method{"tools/list", [](const MCPServer& s, const Message& m) -> std::optional<std::string> {
                   return s.handleToolsList(m.id);
               }},
        Method{"tools/call", [](const MCPServer& s, const Message& m) -> std::optional<std::string> {
                   return s.handleToolsCallSync(m.id, m.params);
               }},
        Method{"ping", [](const MCPServer&, const Message& m) -> std::optional<std::string> {
                   return makeResponse(m.id, json::Value::object());
               }},
        // The request it names was answered before this line was read.
        Method{"notifications/cancelled", [](const MCPServer&, const Message&) -> std::optional<std::string> {
                   return std::nullopt;
               }},
    };

    auto document = json::parseStrict(line);
    if (!document || !document->root().isObject()) {
        return makeErrorResponse(std::nullopt, jsonrpc::kParseError, "Parse error");
    }
    json::View root = document->root();
    const json::Document noParams = json::Document::emptyObject();

    Message message{std::nullopt, {}, noParams.root()};
    if (auto id = root.find("id")) {
        message.id = id->toValue();
    }
    if (auto method = root.find("method")) {
        message.method = method->string().value_or("");
    }
    if (auto params = root.find("params"); params && params->isObject()) {
        message.params = *params;
    }

    for (const Method& method : kMethods) {
        if (method.name == message.method) {
            return method.handle(*this, message);
        }
    }
    // A notification is never answered, not even one the server does not know:
    // clients take any answer to it for a protocol error.
    if (!message.id) {
        // Written as JSON, so that a line feed in the name cannot split the log line.
        logVerbose("Ignored notification: " + json::writeCompactSorted(json::Value(message.method)).value_or(""));
        return std::nullopt;
    }
    return makeErrorResponse(message.id, jsonrpc::kMethodNotFound, "Method not found: " + std::string(message.method));
}

}  // namespace quillbrook
