#include "support/stand_in_agent.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/sockios.h>
#endif

#include "util/unix_socket.h"

namespace quillbrook::test_support {

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for any client on a loaded machine; a bound, never a wait that passes.
constexpr auto kPatience = std::chrono::seconds(10);

// Bytes of this connection's request waiting unread on the agent's side.
std::size_t unreadRequestBytes(int fd) {
    int queued = 0;
    return ::ioctl(fd, FIONREAD, &queued) == 0 && queued > 0 ? static_cast<std::size_t>(queued) : 0;
}

// Bytes written to the client that it has not read yet, where the platform tells.
std::optional<std::size_t> unreadByClient([[maybe_unused]] int fd) {
#if defined(__linux__)
    int queued = 0;
    if (::ioctl(fd, SIOCOUTQ, &queued) == 0) {
        return static_cast<std::size_t>(queued);
    }
#elif defined(SO_NWRITE)
    int queued = 0;
    socklen_t size = sizeof queued;
    if (::getsockopt(fd, SOL_SOCKET, SO_NWRITE, &queued, &size) == 0) {
        return static_cast<std::size_t>(queued);
    }
#endif
    return std::nullopt;
}

void waitUntilClientHasRead(int fd) {
    const auto deadline = Clock::now() + kPatience;
    for (;;) {
        std::optional<std::size_t> queued = unreadByClient(fd);
        if (!queued) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a pause where nothing tells
            return;
        }
        if (*queued == 0 || Clock::now() > deadline) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

bool clientHungUp(int fd) {
    pollfd state{fd, POLLIN, 0};
    return ::poll(&state, 1, 0) > 0 && (state.revents & POLLHUP) != 0;
}

// Waits until the client has sent something and then nothing more for
// `quiet`, or until it hangs up.
void waitUntilClientIsQuiet(int fd, std::chrono::milliseconds quiet, bool requestWasRead) {
    constexpr auto kStep = std::chrono::milliseconds(5);
    const auto deadline = Clock::now() + kPatience;
    while (!requestWasRead && unreadRequestBytes(fd) == 0 && !clientHungUp(fd) && Clock::now() < deadline) {
        std::this_thread::sleep_for(kStep);
    }
    std::size_t seen = unreadRequestBytes(fd);
    for (auto quietSince = Clock::now();
         Clock::now() - quietSince < quiet && Clock::now() < deadline && !clientHungUp(fd);) {
        std::this_thread::sleep_for(kStep);
        if (std::size_t now = unreadRequestBytes(fd); now != seen) {
            seen = now;
            quietSince = Clock::now();
        }
    }
}

// Reads the request up to its line feed: "<eof>" and what came when the
// client ended before one. With `consume` false the bytes are only looked at
// and stay unread.
std::string readRequest(int fd, bool consume) {
    std::string line;
    char buffer[65536];
    const auto deadline = Clock::now() + kPatience;
    for (;;) {
        ssize_t received = consume ? ::read(fd, buffer, sizeof buffer) : ::recv(fd, buffer, sizeof buffer, MSG_PEEK);
        if (received <= 0) {
            return "<eof>" + line;
        }
        std::string_view chunk(buffer, static_cast<std::size_t>(received));
        if (!consume) {
            line.clear();  // a look shows everything waiting, from the start
        }
        if (auto newline = chunk.find('\n'); newline != std::string_view::npos) {
            return line.append(chunk.substr(0, newline));
        }
        line.append(chunk);
        if (!consume) {
            if (clientHungUp(fd) || Clock::now() > deadline) {
                return "<eof>" + line;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a look never waits for more
        }
    }
}

}  // namespace

StandInAgent::StandInAgent(std::vector<Reply> script) : StandInAgent(std::move(script), "") {}

StandInAgent::StandInAgent(std::vector<Reply> script, std::string path) : script_(std::move(script)) {
    if (path.empty()) {
        directory_.emplace();
        path = directory_->path() + "/agent.sock";
    }
    socketPath_ = std::move(path);
    listenFd_ = newUnixSocket();
    auto address = unixAddress(socketPath_);
    if (!listenFd_.valid() || !address ||
        ::bind(listenFd_.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::listen(listenFd_.get(), 16) != 0) {
        throw std::runtime_error("cannot listen on " + socketPath_ + ": " + std::strerror(errno));
    }
    thread_ = std::thread([this] { serve(); });
}

StandInAgent::~StandInAgent() {
    stopping_ = true;
    thread_.join();
    ::unlink(socketPath_.c_str());
}

std::vector<std::string> StandInAgent::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> StandInAgent::waitForRequests(std::size_t count) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= count; });
    return requests_;
}

std::vector<StandInAgent::Closing> StandInAgent::waitForClosings(std::size_t count) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return closings_.size() >= count; });
    return closings_;
}

void StandInAgent::serve() {
    while (!stopping_) {
        pollfd waiting{listenFd_.get(), POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) {
            continue;
        }
        UniqueFd connection(::accept(listenFd_.get(), nullptr, nullptr));
        if (connection.valid()) {
            answer(connection.get());
        }
    }
}

void StandInAgent::answer(int fd) {
    int index = connections_++;
    const Reply& reply = script_.empty() ? Reply{} : script_[std::min<std::size_t>(index, script_.size() - 1)];
    if (reply.readRequest) {
        std::string request = readRequest(fd, !reply.reset);
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
        changed_.notify_all();
    }
    bool connected = sendAll(fd, reply.bytes);
    for (const std::string& piece : reply.later) {
        waitUntilClientHasRead(fd);
        connected = connected && sendAll(fd, piece);
    }
    if (reply.stall.count() > 0) {
        waitUntilClientIsQuiet(fd, reply.stall, reply.readRequest);
    }
    Closing closing{unreadRequestBytes(fd), !clientHungUp(fd)};
    std::lock_guard lock(mutex_);
    closings_.push_back(closing);
    changed_.notify_all();
}

std::string okReply(const std::string& resultJson) { return R"({"ok":true,"result":)" + resultJson + "}\n"; }

std::string errorReply(const std::string& code, const std::string& message) {
    return R"({"ok":false,"code":")" + code + R"(","error":")" + message + "\"}\n";
}

}  // namespace quillbrook::test_support
