#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace quillbrook {

// A tool call that cannot even be attempted. Reported to the assistant as a
// tool result flagged isError, never as a JSON-RPC error.
class MCPError : public std::exception {
public:
    static MCPError unknownTool(std::string name) { return MCPError("Unknown tool: " + std::move(name)); }
    // An argument the server reads itself, of a kind it cannot use.
    static MCPError invalidArgument(std::string_view name, std::string_view rule) {
        return MCPError("Invalid argument \"" + std::string(name) + "\": " + std::string(rule));
    }

    const char* what() const noexcept override { return description_.c_str(); }

private:
    explicit MCPError(std::string description) : description_(std::move(description)) {}

    std::string description_;
};

}  // namespace quillbrook
