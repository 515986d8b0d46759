#include "mcp/mcp_server.h"

#include <cstdlib>
#include <new>

#include <unistd.h>

#include "mcp/error_codes.h"
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
    // The answer to one line, its line feed included, or nothing for a notification.
    auto answerTo = [this](const LineReader::Line& line) {
        std::optional<std::string> answer;
        if (line.tooLong) {
            // Its bytes are gone, so it is answered as any line that cannot be read.
            logVerbose("Skipped a line longer than " + std::to_string(LineReader::kMaxLineBytes) + " bytes");
            answer = makeErrorResponse(std::nullopt, jsonrpc::kParseError, "Parse error");
        } else {
            if (verboseLog_) {
                log("Received: " + utf8::sanitized(line.text, kLoggedCharacters) + "...");
            }
            answer = handleMessageSync(line.text);
        }
        if (answer) {
            answer->push_back('\n');
        }
        return answer;
    };

    // Answers go straight to descriptor 1 with one write each: there is no
    // buffer to switch off or flush, and no other code writes to standard output.
    LineReader input(STDIN_FILENO);
    while (auto line = input.next()) {
        if (!line->tooLong && line->text.empty()) {
            continue;
        }
        std::optional<std::string> answer;
        try {
            answer = answerTo(*line);
        } catch (const std::bad_alloc&) {
            // What the message took is freed again, and the next one may well fit.
            answer = makeErrorResponse(std::nullopt, jsonrpc::kInternalError, "Internal error") + "\n";
        }
        if (!answer) {
            continue;
        }
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
