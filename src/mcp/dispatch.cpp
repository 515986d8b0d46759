#include <array>
#include <new>
#include <span>

#include "mcp/error_codes.h"
#include "mcp/mcp_server.h"

namespace quillbrook {

namespace {

// One decoded JSON-RPC message. The views point into the parsed line.
struct Message {
    MCPServer::Request request;
    std::string_view method;
    json::View params;
};

using Answer = std::optional<std::string>;

// The eras that serve a method.
enum class Served { legacy, modern, both };

struct Method {
    std::string_view name;
    Served served;
    bool notification;  // never answered, with or without an id
    Answer (*handle)(const MCPServer&, const Message&);
};

const Method* findMethod(std::span<const Method> methods, std::string_view name, Era era) {
    const Served only = era == Era::modern ? Served::modern : Served::legacy;
    for (const Method& method : methods) {
        if (method.name == name && (method.served == Served::both || method.served == only)) {
            return &method;
        }
    }
    return nullptr;
}

// The methods the server knows, in both eras. Whether a known method is
// answered depends on the method and the era alone, never on its id.
constexpr std::array kMethods = {
    Method{"initialize", Served::legacy, false,
           [](const MCPServer& s, const Message& m) -> Answer { return s.handleInitialize(m.request, m.params); }},
    Method{"notifications/initialized", Served::legacy, true,
           [](const MCPServer& s, const Message&) -> Answer {
               s.handleInitialized();
               return std::nullopt;
           }},
    Method{"server/discover", Served::modern, false,
           [](const MCPServer& s, const Message& m) -> Answer { return s.handleDiscover(m.request); }},
    Method{"tools/list", Served::both, false,
           [](const MCPServer& s, const Message& m) -> Answer { return s.handleToolsList(m.request); }},
    Method{"tools/call", Served::both, false,
           [](const MCPServer& s, const Message& m) -> Answer { return s.handleToolsCallSync(m.request, m.params); }},
    // The modern revision dropped ping; a client that still sends one loses nothing.
    Method{"ping", Served::both, false,
           [](const MCPServer& s, const Message& m) -> Answer {
               return s.makeResponse(m.request, json::Value::object());
           }},
    // The request it names was answered before this line was read.
    Method{"notifications/cancelled", Served::both, true,
           [](const MCPServer&, const Message&) -> Answer { return std::nullopt; }},
};

}  // namespace

std::optional<std::string> MCPServer::handleMessageSync(std::string_view line) const {
    auto document = json::parseStrict(line);
    if (!document || !document->root().isObject()) {
        return makeErrorResponse(std::nullopt, jsonrpc::kParseError, "Parse error");
    }
    json::View root = document->root();
    const json::Document noParams = json::Document::emptyObject();

    Message message{{}, {}, noParams.root()};
    if (auto id = root.find("id")) {
        message.request.id = id->toValue();
    }
    if (auto method = root.find("method")) {
        message.method = method->string().value_or("");
    }
    if (auto params = root.find("params"); params && params->isObject()) {
        message.params = *params;
    }
    const EraSelection selection = selectEra(message.params);
    message.request.era = selection.era;

    const Method* method = findMethod(kMethods, message.method, selection.era);
    if (method && method->notification) {
        return method->handle(*this, message);
    }
    // A notification is never answered, not even one the server does not know:
    // clients take any answer to it for a protocol error. A legacy client gets
    // an answer to a known method with or without an id; in the modern era a
    // message without one is a notification, whatever it names.
    if (!message.request.id && (!method || selection.era == Era::modern)) {
        // Written as JSON, so that a line feed in the name cannot split the log line.
        logVerbose("Ignored notification: " + json::writeCompactSorted(json::Value(message.method)).value_or(""));
        return std::nullopt;
    }
    if (selection.era == Era::modern) {
        // An id the client cannot have meant is not echoed back to it.
        if (!isModernRequestId(*message.request.id)) {
            return makeErrorResponse(std::nullopt, jsonrpc::kInvalidRequest, "Invalid Request");
        }
        if (const auto& refusal = selection.refusal) {
            return makeErrorResponse(message.request.id, refusal->code, refusal->message, refusal->data);
        }
    }
    if (!method) {
        return makeErrorResponse(message.request.id, jsonrpc::kMethodNotFound,
                                 "Method not found: " + std::string(message.method));
    }
    try {
        return method->handle(*this, message);
    } catch (const std::bad_alloc&) {
        // What the call took is freed again; the client learns which request failed.
        return makeErrorResponse(message.request.id, jsonrpc::kInternalError, "Internal error");
    }
}

}  // namespace quillbrook
