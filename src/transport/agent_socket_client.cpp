#include "transport/agent_socket_client.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "transport/response_rules.h"
#include "transport/socket_error.h"

namespace quillbrook {

namespace {

constexpr char kAgentBundleIdentifier[] = "com.quillbrook.Quillbrook";
constexpr std::size_t kReadChunkBytes = 4096;

static_assert(sizeof(sockaddr_un{}.sun_path) > kMaxSocketPathBytes);

// The user database's home directory, for when HOME is not set.
std::string homeOfCurrentUser() {
#if defined(QUILLBROOK_STATIC_CLI)
    // A static binary cannot rely on loading the C library's user-database
    // modules at run time, so it reads the local user file itself.
    std::string home;
    if (FILE* users = std::fopen("/etc/passwd", "r")) {
        while (const passwd* entry = ::fgetpwent(users)) {
            if (entry->pw_uid == ::getuid() && entry->pw_dir != nullptr) {
                home = entry->pw_dir;
                break;
            }
        }
        std::fclose(users);
    }
    return home;
#else
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
#endif
}

std::string homeDirectory(const Environment& env) {
    if (auto home = env.find("HOME"); home != env.end() && !home->second.empty()) {
        return home->second;
    }
    return homeOfCurrentUser();
}

std::string joinPath(const std::string& directory, const std::string& relative) {
    if (!directory.empty() && directory.back() == '/') {
        return directory + relative;
    }
    return directory + "/" + relative;
}

// A write to an agent that has gone away must fail with EPIPE, not raise SIGPIPE.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

void suppressSigpipe([[maybe_unused]] int fd) {
#ifdef SO_NOSIGPIPE
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
}

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), kSendFlags);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Reads up to the first line feed. Only the bytes of each new read are searched,
// so a long answer costs one pass over it.
std::string readLine(int fd) {
    std::string buffer;
    for (;;) {
        std::size_t before = buffer.size();
        buffer.resize(before + kReadChunkBytes);
        ssize_t received = ::read(fd, buffer.data() + before, kReadChunkBytes);
        if (received < 0 && errno == EINTR) {
            buffer.resize(before);
            continue;
        }
        if (received <= 0) {
            throw CLISocketError::connectionLost();
        }
        buffer.resize(before + static_cast<std::size_t>(received));
        if (auto newline = buffer.find('\n', before); newline != std::string::npos) {
            buffer.resize(newline);
            return buffer;
        }
        if (buffer.size() > kMaxResponseBytes) {
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
    std::string home = homeDirectory(env);
    return {
        joinPath(home, ".quillbrook/agent.sock"),
        joinPath(home, std::string("Library/Containers/") + kAgentBundleIdentifier + "/Data/.quillbrook/agent.sock"),
    };
}

UniqueFd AgentSocketClient::connectToWorkingSocket() const {
    std::vector<std::string> candidates =
        explicitPath_ ? std::vector<std::string>{*explicitPath_} : candidatePaths(processEnvironment());
    for (const std::string& path : candidates) {
        if (path.size() > kMaxSocketPathBytes) {
            continue;
        }
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
        if (!fd.valid()) {
            continue;
        }
        suppressSigpipe(fd.get());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.data(), path.size());
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
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
