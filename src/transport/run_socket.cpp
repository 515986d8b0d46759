#include "transport/run_socket.h"

#include <cerrno>
#include <cstring>
#include <exception>

#include <unistd.h>

#include "transport/agent_socket_client.h"
#include "transport/output.h"
#include "transport/socket_error.h"

namespace quillbrook {

void printResult(json::View result) {
    // A result that never reached its reader must not end as a success.
    if (!writeLine(STDOUT_FILENO, json::writePrettySorted(result))) {
        exitWithUnexpectedError(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
}

void runSocket(const std::string& action, json::Value params) {
    try {
        json::Document result = AgentSocketClient().send(action, std::move(params));
        printResult(result.root());
    } catch (const CLISocketError& error) {
        exitWithSocketError(error);
    } catch (const std::exception& error) {
        exitWithUnexpectedError(error.what());
    }
}

}  // namespace quillbrook
