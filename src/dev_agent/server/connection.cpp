#include "dev_agent/server/connection.h"

#include <cerrno>

#include "util/io.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

}  // namespace

std::optional<RequestRead> RequestReader::readFrom(int fd) {
    char chunk[kChunkBytes];
    for (;;) {
        ssize_t got = readSome(fd, chunk, sizeof chunk);
        if (got < 0 && wouldBlock()) {
            return std::nullopt;
        }
        if (got <= 0) {
            if (draining_) {
                return RequestRead{RequestRead::Status::tooLarge, {}};
            }
            return buffer_.empty() ? RequestRead{RequestRead::Status::closed, {}}
                                   : RequestRead{RequestRead::Status::line, std::move(buffer_)};
        }
        std::string_view received(chunk, static_cast<std::size_t>(got));
        auto newline = received.find('\n');
        if (draining_) {
            if (newline != std::string_view::npos) {
                return RequestRead{RequestRead::Status::tooLarge, {}};
            }
            continue;
        }
        buffer_.append(received.substr(0, newline));
        if (buffer_.size() > maxBytes_) {
            std::string().swap(buffer_);
            if (newline != std::string_view::npos) {
                return RequestRead{RequestRead::Status::tooLarge, {}};
            }
            draining_ = true;
        } else if (newline != std::string_view::npos) {
            return RequestRead{RequestRead::Status::line, std::move(buffer_)};
        }
    }
}

RequestRead RequestReader::timedOut() const {
    return {draining_ ? RequestRead::Status::tooLarge : RequestRead::Status::timedOut, {}};
}

bool writeAvailable(int fd, std::string_view& rest) {
    while (!rest.empty()) {
        ssize_t sent = writeSome(fd, rest, Sink::socket);
        if (sent < 0 && wouldBlock()) {
            return true;
        }
        if (sent <= 0) {
            return false;
        }
        rest.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace quillbrook::dev_agent
