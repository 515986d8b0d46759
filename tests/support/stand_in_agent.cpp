#include "support/stand_in_agent.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quillbrook::test_support {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

}  // namespace

std::string StandInAgent::makeTempDir() {
    char pattern[] = "/tmp/qbt-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

StandInAgent::StandInAgent(std::vector<Reply> script) : StandInAgent(std::move(script), "") {}

StandInAgent::StandInAgent(std::vector<Reply> script, std::string path) : script_(std::move(script)) {
    if (path.empty()) {
        directory_ = makeTempDir();
        path = directory_ + "/agent.sock";
    }
    socketPath_ = std::move(path);
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath_.c_str(), sizeof address.sun_path - 1);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        throw std::runtime_error("cannot listen on " + socketPath_ + ": " + std::strerror(errno));
    }
    thread_ = std::thread([this] { serve(); });
}

StandInAgent::~StandInAgent() {
    stopping_ = true;
    thread_.join();
    ::close(listenFd_);
    ::unlink(socketPath_.c_str());
    if (!directory_.empty()) {
        ::rmdir(directory_.c_str());
    }
}

std::vector<std::string> StandInAgent::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> StandInAgent::waitForRequests(std::size_t count) const {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= count; });
    return requests_;
}

void StandInAgent::serve() {
    while (!stopping_) {
        pollfd waiting{listenFd_, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) {
            continue;
        }
        int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        answer(fd);
        ::close(fd);
    }
}

void StandInAgent::answer(int fd) {
    int index = connections_++;
    const Reply& reply = script_.empty() ? Reply{} : script_[std::min<std::size_t>(index, script_.size() - 1)];
    if (reply.readRequest) {
        std::string line;
        char buffer[4096];
        bool complete = false;
        while (!complete) {
            ssize_t received = ::read(fd, buffer, sizeof buffer);
            if (received <= 0) {
                break;
            }
            line.append(buffer, static_cast<std::size_t>(received));
            if (auto newline = line.find('\n'); newline != std::string::npos) {
                line.resize(newline);
                complete = true;
            }
        }
        std::lock_guard lock(mutex_);
        requests_.push_back(complete ? line : "<eof>" + line);
        arrived_.notify_all();
    }
    std::string_view rest = reply.bytes;
    while (!rest.empty()) {
        ssize_t sent = ::send(fd, rest.data(), rest.size(), kSendFlags);
        if (sent <= 0) {
            break;
        }
        rest.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string okReply(const std::string& resultJson) { return R"({"ok":true,"result":)" + resultJson + "}\n"; }

std::string errorReply(const std::string& code, const std::string& message) {
    return R"({"ok":false,"code":")" + code + R"(","error":")" + message + "\"}\n";
}

}  // namespace quillbrook::test_support
