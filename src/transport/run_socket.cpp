#include "transport/run_socket.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

#include "transport/agent_socket_client.h"
#include "transport/output.h"

namespace quillbrook {

void printResult(json::View result) {
    // A result that never reached its reader must not end as a success.
    if (!writeLine(STDOUT_FILENO, json::writePrettySorted(result))) {
        throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
}

void runSocket(const std::string& action, json::Value params) {
    printResult(AgentSocketClient().send(action, std::move(params)).root());
}

}  // namespace quillbrook
