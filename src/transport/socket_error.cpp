#include "transport/socket_error.h"

#include <cstdlib>

#include <unistd.h>

#include "transport/output.h"

namespace quillbrook {

CLISocketError CLISocketError::server(std::string code, std::string message) {
    return {Kind::server, std::move(code), std::move(message)};
}

CLISocketError CLISocketError::connectFailed() { return {Kind::connectFailed, {}, {}}; }

CLISocketError CLISocketError::connectionLost() { return {Kind::connectionLost, {}, {}}; }

std::string CLISocketError::stderrMessage() const {
    switch (kind_) {
    case Kind::server:
        return code_ + ": " + message_;
    case Kind::connectFailed:
        return "Quillbrook is not running or Local Agent Access is disabled "
               "(Quillbrook \u2192 Settings \u2192 Local Agent Access)";
    case Kind::connectionLost:
        return "connection_lost: Quillbrook closed the connection mid-request";
    }
    return {};
}

ExitStatus CLISocketError::exitStatus() const {
    switch (kind_) {
    case Kind::server:
        return ExitStatus::failure;
    case Kind::connectFailed:
        return ExitStatus::agentUnreachable;
    case Kind::connectionLost:
        return ExitStatus::connectionLost;
    }
    return ExitStatus::failure;
}

void exitWithSocketError(const CLISocketError& error) {
    writeLine(STDERR_FILENO, error.stderrMessage());
    std::exit(static_cast<int>(error.exitStatus()));
}

void exitWithUnexpectedError(const std::string& description) {
    writeLine(STDERR_FILENO, "unexpected error: " + description);
    std::exit(static_cast<int>(ExitStatus::failure));
}

}  // namespace quillbrook
