#include <exception>

#include "mcp/error_codes.h"
#include "mcp/mcp_error.h"
#include "mcp/mcp_server.h"
#include "mcp/readable_email.h"
#include "mcp/reply_tool.h"
#include "mcp/tool_catalogue.h"
#include "mcp/tool_mapping.h"
#include "transport/reply_draft.h"
#include "transport/socket_error.h"

namespace quillbrook {

namespace {

// The one content item of a tool result; `text` is already written as a JSON string.
json::Value textContent(std::string_view text) {
    return json::Value::array({{{"type", "text"}, {"text", json::Value::preWritten(text)}}});
}

// A legacy client reads every outcome of the agent, failures too, as the text of
// a successful result. A modern one gets the result typed as well, and a
// failure flagged as one, as its revision asks of errors that arise in a tool.
json::Value toolResult(Era era, const MCPServer::ToolOutcome& outcome) {
    json::Value result = {{"content", textContent(outcome.text)}};
    if (era == Era::modern) {
        if (outcome.result) {
            result["structuredContent"] = json::Value::preWritten(*outcome.result);
        } else {
            result["isError"] = true;
        }
    }
    return result;
}

json::Value failedToolResult(const std::string& description) {
    return {{"content", json::Value::array({{{"type", "text"}, {"text", "Error: " + description}}})},
            {"isError", true}};
}

}  // namespace

std::string MCPServer::handleToolsCallSync(const Request& request, json::View params) const {
    auto nameMember = params.find("name");
    auto name = nameMember ? nameMember->string() : std::nullopt;
    if (!name) {
        return makeErrorResponse(request.id, jsonrpc::kInvalidParams, "Missing tool name");
    }
    auto argumentsMember = params.find("arguments");
    json::Value arguments =
        argumentsMember && argumentsMember->isObject() ? argumentsMember->toValue() : json::Value::object();

    std::string toolName(*name);
    logVerbose("Calling tool: " + toolName);
    std::string description;
    try {
        return makeResponse(request,
                            toolResult(request.era, callToolSync(toolName, std::move(arguments), request.era)));
    } catch (const std::exception& error) {  // an MCPError among them
        description = error.what();
    }
    logVerbose("Tool error: " + description);
    return makeResponse(request, failedToolResult(description));
}

MCPServer::ToolOutcome MCPServer::callToolSync(const std::string& name, json::Value arguments, Era era) const {
    if (!isOffered(name, era)) {
        throw MCPError::unknownTool(name);
    }
    // The server's own arguments of the modern era are read here and go no further.
    std::optional<ReadingOptions> reading;
    if (era == Era::modern) {
        if (name == "read_email") {
            reading = readingOptions(arguments);
        }
        for (std::string_view own : modernArguments(name)) {
            arguments.erase(std::string(own));
        }
    }
    // Whatever goes wrong with the agent is data for the assistant, not a failed call.
    try {
        json::Document result = perform(name, std::move(arguments));
        if (reading) {
            json::Value email = result.root().toValue();
            applyReadingOptions(email, *reading);
            auto text = json::writeCompactSortedAsString(email);
            return {text.value_or("\"{}\""), text ? json::writeCompactSorted(email) : "{}"};
        }
        return {json::writeCompactSortedAsString(result.root()), json::writeCompactSorted(result.root())};
    } catch (const CLISocketError& error) {
        return {json::writeCompactSortedAsString(json::Value{{"error", error.stderrMessage()}}).value_or("\"{}\""),
                std::nullopt};
    }
}

json::Document MCPServer::perform(const std::string& name, json::Value arguments) const {
    // The one tool that takes two requests, in the same steps as `draft reply`.
    if (name == "reply_draft") {
        return sendReplyDraft(client_, replyRequest(arguments));
    }
    auto action = MCPToolMapping::socketAction(name);
    if (!action) {
        throw MCPError::unknownTool(name);
    }
    return client_.send(*action, MCPToolMapping::socketParams(name, std::move(arguments)));
}

}  // namespace quillbrook
