#include "transport/run_socket.h"

#include <string>

#include "transport/agent_socket_client.h"
#include "transport/output.h"

namespace quillbrook {

void printResult(json::View result) {
    std::string text = json::writePrettySorted(result);
    text.push_back('\n');
    writeStandardOutput(text);
}

void runSocket(const std::string& action, json::Value params) {
    printResult(AgentSocketClient().send(action, std::move(params)).root());
}

}  // namespace quillbrook
