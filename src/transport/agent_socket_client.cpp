#include "transport/agent_socket_client.h"

#include <algorithm>
#include <cstdlib>

#include <sys/socket.h>
#include <unistd.h>

#include "transport/response_rules.h"
#include "transport/socket_error.h"
#include "util/agent_paths.h"
#include "util/io.h"
#include "util/line_splitter.h"
#include "util/unix_socket.h"

namespace quillbrook {

namespace {

// Reads start small, for the many short answers, and grow for long ones.
constexpr std::size_t kFirstReadBytes = 4 * 1024;
constexpr std::size_t kLargestReadBytes = 64 * 1024;

// Reads up to the first line feed. No read goes past the first byte beyond
// the limit, so a line is accepted exactly when it is within it.
std::string readLine(int fd) {
    LineSplitter splitter(kMaxResponseBytes, LineSplitter::Ending::lineFeed);
    std::string buffer;
    std::size_t readBytes = kFirstReadBytes;
    for (;;) {
        std::size_t before = buffer.size();
        std::size_t chunk = std::min(readBytes, kMaxResponseBytes + 1 - before);
        readBytes = std::min(2 * readBytes, kLargestReadBytes);
        buffer.resize(before + chunk);
        ssize_t received = readSome(fd, buffer.data() + before, chunk);
        if (received <= 0) {
            throw CLISocketError::connectionLost();
        }
        buffer.resize(before + static_cast<std::size_t>(received));
        LineSplitter::Split split = splitter.next(buffer);
        if (split.kind == LineSplitter::Split::Kind::line) {
            buffer.resize(split.text.size());
            return buffer;
        }
        if (split.kind == LineSplitter::Split::Kind::tooLong || splitter.dropping()) {
            throw CLISocketError::server("response_too_large", "response exceeded the one-line framing limit");
        }
    }
}

}  // namespace

AgentSocketClient::AgentSocketClient(std::optional<std::string> explicitPath)
    : explicitPath_(std::move(explicitPath)) {}

Environment AgentSocketClient::processEnvironment() {
    Environment env;
    for (const char* name : {"QUILLBROOK_SOCKET", "HOME"}) {
        if (const char* value = std::getenv(name)) {
            env[name] = value;
        }
    }
    return env;
}

std::vector<std::string> AgentSocketClient::candidatePaths(const Environment& env) {
    if (auto socket = env.find("QUILLBROOK_SOCKET"); socket != env.end() && !socket->second.empty()) {
        return {socket->second};
    }
    auto home = env.find("HOME");
    std::string directory = homeDirectory(home == env.end() ? "" : home->second);
    return {
        defaultAgentSocketPath(directory),
        joinPath(directory, kContainedAgentSocketInHome),
    };
}

UniqueFd AgentSocketClient::connectToWorkingSocket() const {
    std::vector<std::string> candidates =
        explicitPath_ ? std::vector<std::string>{*explicitPath_} : candidatePaths(processEnvironment());
    for (const std::string& path : candidates) {
        if (UniqueFd fd = connectUnixSocket(path); fd.valid()) {
            return fd;
        }
    }
    throw CLISocketError::connectFailed();
}

std::string AgentSocketClient::transact(const json::Value& request) const {
    UniqueFd fd = connectToWorkingSocket();
    auto line = json::writeCompactSorted(request);
    if (!line) {
        throw CLISocketError::server("bad_request", "could not serialize request");
    }
    line->push_back('\n');
    if (!sendAll(fd.get(), *line)) {
        throw CLISocketError::connectionLost();
    }
    return readLine(fd.get());
}

json::Document AgentSocketClient::send(const std::string& action, json::Value params) const {
    json::Value request = MCPToolMapping::withFolderDefault(action, std::move(params));
    request["action"] = action;
    return MCPToolMapping::parseResponse(transact(request));
}

}  // namespace quillbrook
