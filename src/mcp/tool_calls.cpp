#include <exception>

#include "mcp/error_codes.h"
#include "mcp/mcp_error.h"
#include "mcp/mcp_server.h"
#include "mcp/tool_mapping.h"
#include "transport/socket_error.h"

namespace quillbrook {

namespace {

// The one content item of a tool result; `text` is already written as a JSON string.
json::Value textContent(std::string_view text) {
    return json::Value::array({{{"type", "text"}, {"text", json::preWritten(text)}}});
}

// A legacy client reads every outcome of the agent, failures too, as the text of
// a successful result. A modern one gets the result typed as well, and a
// failure flagged as one, as its revision asks of errors that arise in a tool.
json::Value toolResult(Era era, const MCPServer::ToolOutcome& outcome) {
    json::Value result = {{"content", textContent(outcome.text)}};
    if (era == Era::modern) {
        if (outcome.result) {
            result["structuredContent"] = json::preWritten(*outcome.result);
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
        return makeResponse(request, toolResult(request.era, callToolSync(toolName, std::move(arguments))));
    } catch (const std::exception& error) {  // an MCPError among them
        description = error.what();
    }
    logVerbose("Tool error: " + description);
    return makeResponse(request, failedToolResult(description));
}

MCPServer::ToolOutcome MCPServer::callToolSync(const std::string& name, json::Value arguments) const {
    auto action = MCPToolMapping::socketAction(name);
    if (!action) {
        throw MCPError::unknownTool(name);
    }
    json::Value request = MCPToolMapping::socketParams(name, std::move(arguments));
    // Whatever goes wrong with the agent is data for the assistant, not a failed call.
    try {
        json::Document result = client_.send(*action, std::move(request));
        return {json::writeCompactSortedAsString(result.root()), json::writeCompactSorted(result.root())};
    } catch (const CLISocketError& error) {
        return {json::writeCompactSortedAsString(json::Value{{"error", error.stderrMessage()}}).value_or("\"{}\""),
                std::nullopt};
    }
}

}  // namespace quillbrook
