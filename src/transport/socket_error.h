#pragma once

#include <string>

#include "transport/exit_status.h"

namespace quillbrook {

// The failure of one exchange with the agent. Thrown by AgentSocketClient::send
// and caught where a command or an MCP tool call ends.
class CLISocketError {
public:
    enum class Kind { server, connectFailed, connectionLost };

    static CLISocketError server(std::string code, std::string message);
    static CLISocketError connectFailed();
    static CLISocketError connectionLost();

    Kind kind() const { return kind_; }
    const std::string& code() const { return code_; }
    const std::string& message() const { return message_; }

    // The one line that stands for this failure on standard error.
    std::string stderrMessage() const;
    ExitStatus exitStatus() const;

    friend bool operator==(const CLISocketError&, const CLISocketError&) = default;

private:
    CLISocketError(Kind kind, std::string code, std::string message)
        : kind_(kind), code_(std::move(code)), message_(std::move(message)) {}

    Kind kind_;
    std::string code_;
    std::string message_;
};

// Reports a failure on standard error and ends the process with its status.
[[noreturn]] void exitWithSocketError(const CLISocketError& error);
// Reports an error nobody planned for ("unexpected error: ...") and exits 1.
[[noreturn]] void exitWithUnexpectedError(const std::string& description);

}  // namespace quillbrook
