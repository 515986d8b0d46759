#pragma once

#include <exception>
#include <stdexcept>
#include <string>

#include "util/exit_status.h"

namespace quillbrook {

// The failure of one exchange with the agent. Thrown by AgentSocketClient::send
// and caught where a command or an MCP tool call ends. The name is kept for its callers.
class CLISocketError : public std::exception {
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
    const char* what() const noexcept override { return line_.c_str(); }

    friend bool operator==(const CLISocketError& a, const CLISocketError& b) {
        return a.kind_ == b.kind_ && a.code_ == b.code_ && a.message_ == b.message_;
    }

private:
    CLISocketError(Kind kind, std::string code, std::string message);

    Kind kind_;
    std::string code_;
    std::string message_;
    std::string line_;
};

// A failure that a command finds itself, such as an empty account list or a
// refused request: its one stderr line and its exit status.
class CommandFailure : public std::runtime_error {
public:
    CommandFailure(const std::string& line, ExitStatus status) : std::runtime_error(line), status_(status) {}
    ExitStatus exitStatus() const { return status_; }

private:
    ExitStatus status_;
};

// The one place where a command's failure becomes its stderr line and exit
// status. Call it inside a catch block: it reports the exception being handled.
// Anything but the two failures above is an unexpected error, reported as
// "unexpected error: " and its description.
ExitStatus reportCurrentFailure();

}  // namespace quillbrook
