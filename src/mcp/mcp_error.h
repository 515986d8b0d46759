#pragma once

#include <exception>
#include <string>

namespace quillbrook {

// A tool call that cannot even be attempted. Reported to the assistant as a
// tool result flagged isError, never as a JSON-RPC error.
class MCPError : public std::exception {
public:
    static MCPError unknownTool(std::string name) { return MCPError("Unknown tool: " + std::move(name)); }

    const char* what() const noexcept override { return description_.c_str(); }

private:
    explicit MCPError(std::string description) : description_(std::move(description)) {}

    std::string description_;
};

}  // namespace quillbrook
