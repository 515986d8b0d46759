#include "mcp/mcp_server.h"

#include <cstdlib>

#include <unistd.h>

#include "mcp/line_reader.h"
#include "util/utf8.h"
#include "mcp/tool_catalogue.h"
#include "transport/output.h"

namespace quillbrook {

namespace {

// How much of each input line the verbose log shows.
constexpr std::size_t kLoggedCharacters = 80;

std::string serialiseAnswer(const json::Value& answer) {
    // Only a string that is not UTF-8 could fail here; a client still gets a line.
    return json::writeCompactSorted(answer).value_or("{}");
}

json::Value envelope(const MCPServer::Id& id, const char* member, json::Value payload) {
    json::Value answer = {{"jsonrpc", "2.0"}, {member, std::move(payload)}};
    if (id) {
        answer["id"] = *id;
    }
    return answer;
}

}  // namespace

MCPServer::MCPServer() : verboseLog_(std::getenv("QUILLBROOK_MCP_DEBUG") != nullptr) {}

void MCPServer::runSync() {
    log("Quillbrook MCP Server starting...");
    // Answers go straight to descriptor 1 with one write each: there is no
    // buffer to switch off or flush, and no other code writes to standard output.
    LineReader input(STDIN_FILENO);
    while (auto line = input.next()) {
        if (line->empty()) {
            continue;
        }
        if (verboseLog_) {
            log("Received: " + utf8::sanitized(*line, kLoggedCharacters) + "...");
        }
        auto answer = handleMessageSync(*line);
        if (!answer) {
            continue;
        }
        answer->push_back('\n');
        // A client that stopped reading is no reason to stop: the write fails
        // (SIGPIPE is ignored by the process) and the next line is served.
        writeAll(STDOUT_FILENO, *answer);
        logVerbose("Sent response");
    }
    log("stdin closed, server exiting");
}

std::string MCPServer::makeResponse(const Id& id, json::Value result) {
    return serialiseAnswer(envelope(id, "result", std::move(result)));
}

std::string MCPServer::makeErrorResponse(const Id& id, int code, std::string_view message) {
    return serialiseAnswer(envelope(id, "error", {{"code", code}, {"message", message}}));
}

std::string MCPServer::handleInitialize(const Id& id, json::View /*params: no version is negotiated*/) const {
    return makeResponse(id, {
                                {"protocolVersion", protocolVersion_},
                                {"capabilities", {{"tools", json::Value::object()}}},
                                {"serverInfo", {{"name", serverName_}, {"version", serverVersion_}}},
                            });
}

std::string MCPServer::handleToolsList(const Id& id) const { return makeResponse(id, toolsListResult()); }

void MCPServer::log(std::string_view text) const {
    std::string line = "[MCP] ";
    line.append(text);
    writeLine(STDERR_FILENO, line);
}

void MCPServer::logVerbose(std::string_view text) const {
    if (verboseLog_) {
        log(text);
    }
}

}  // namespace quillbrook
