#pragma once

#include <stdexcept>
#include <string>

namespace quillbrook::dev_agent {

// A failure that becomes the answer {"ok":false,"code":...,"error":...}. Thrown by
// any action; caught only where the request line is answered.
class AgentError : public std::runtime_error {
public:
    AgentError(std::string code, const std::string& message) : std::runtime_error(message), code_(std::move(code)) {}

    const std::string& code() const { return code_; }

    static AgentError badRequest(const std::string& message) { return {"bad_request", message}; }
    static AgentError notFound(const std::string& message) { return {"not_found", message}; }

private:
    std::string code_;
};

}  // namespace quillbrook::dev_agent
