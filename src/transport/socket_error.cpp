#include "transport/socket_error.h"

#include <unistd.h>

#include "transport/output.h"

namespace quillbrook {

CLISocketError::CLISocketError(Kind kind, std::string code, std::string message)
    : kind_(kind), code_(std::move(code)), message_(std::move(message)), line_(stderrMessage()) {}

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

ExitStatus reportCurrentFailure() {
    try {
        throw;
    } catch (const CLISocketError& error) {
        writeLine(STDERR_FILENO, error.stderrMessage());
        return error.exitStatus();
    } catch (const CommandFailure& failure) {
        writeLine(STDERR_FILENO, failure.what());
        return failure.exitStatus();
    } catch (const std::exception& error) {
        writeLine(STDERR_FILENO, std::string("unexpected error: ") + error.what());
    } catch (...) {
        writeLine(STDERR_FILENO, "unexpected error: an unknown exception");
    }
    return ExitStatus::failure;
}

}  // namespace quillbrook
