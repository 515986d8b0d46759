#include "canned_agent.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

#include "util/unix_socket.h"

namespace quillbrook::fuzz_support {

CannedAgent::CannedAgent(std::string reply)
    : CannedAgent([reply = std::move(reply)](std::string_view) { return reply; }) {}

CannedAgent::CannedAgent(Responder responder) : responder_(std::move(responder)) {
    char pattern[] = "/tmp/qbca.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot create a directory for the canned agent");
    }
    directory_ = pattern;
    path_ = directory_ + "/agent.sock";
    auto address = unixAddress(path_);
    listenFd_ = newUnixSocket();
    if (!address || !listenFd_.valid() ||
        ::bind(listenFd_.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::listen(listenFd_.get(), 64) != 0) {
        throw std::runtime_error("the canned agent cannot listen on " + path_);
    }
    thread_ = std::thread([this] { serve(); });
}

CannedAgent::~CannedAgent() {
    stopping_ = true;
    // A last connection wakes the blocking accept.
    {
        UniqueFd wake = connectUnixSocket(path_);
        thread_.join();
    }
    listenFd_.reset();
    ::unlink(path_.c_str());
    ::rmdir(directory_.c_str());
}

void CannedAgent::serve() {
    std::string request;
    char buffer[65536];
    for (;;) {
        UniqueFd fd(::accept(listenFd_.get(), nullptr, nullptr));
        if (stopping_) {
            return;
        }
        if (!fd.valid()) {
            continue;
        }
        request.clear();
        ssize_t received;
        while ((received = ::read(fd.get(), buffer, sizeof buffer)) > 0) {
            const char* end = static_cast<const char*>(std::memchr(buffer, '\n', static_cast<std::size_t>(received)));
            request.append(buffer, end ? static_cast<std::size_t>(end - buffer) : static_cast<std::size_t>(received));
            if (end) {
                break;
            }
        }
        // A client that left is no failure: its next exchange is a new connection.
        sendAll(fd.get(), responder_(request));
    }
}

std::string echoResult(std::string_view request) {
    std::string reply = R"({"ok":true,"result":)";
    reply.append(request).append("}\n");
    return reply;
}

}  // namespace quillbrook::fuzz_support
