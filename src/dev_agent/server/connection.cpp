#include "dev_agent/server/connection.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

#include "util/io.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

enum class Ready { yes, timedOut, stopped };

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

Ready waitFor(int fd, short events, int stopFd, Clock::time_point deadline) {
    for (;;) {
        int timeout = millisecondsUntil(deadline);
        if (timeout == 0) {
            return Ready::timedOut;
        }
        pollfd entries[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        int ready = ::poll(entries, stopFd >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0 && stopFd >= 0 && (entries[1].revents & POLLIN) != 0) {
            return Ready::stopped;
        }
        if (ready != 0) {
            return Ready::yes;  // readable, writable, or an error the next call reports
        }
    }
}

}  // namespace

RequestRead readRequestLine(int fd, int stopFd, Clock::time_point deadline, std::size_t maxBytes) {
    std::string buffer;
    bool draining = false;
    char chunk[kChunkBytes];
    for (;;) {
        switch (waitFor(fd, POLLIN, stopFd, deadline)) {
        case Ready::timedOut:
            return {draining ? RequestRead::Status::tooLarge : RequestRead::Status::timedOut, {}};
        case Ready::stopped:
            return {RequestRead::Status::stopped, {}};
        case Ready::yes:
            break;
        }
        ssize_t got = readSome(fd, chunk, sizeof chunk);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (got <= 0) {
            if (draining) {
                return {RequestRead::Status::tooLarge, {}};
            }
            return buffer.empty() ? RequestRead{RequestRead::Status::closed, {}}
                                  : RequestRead{RequestRead::Status::line, std::move(buffer)};
        }
        std::string_view received(chunk, static_cast<std::size_t>(got));
        auto newline = received.find('\n');
        if (draining) {
            if (newline != std::string_view::npos) {
                return {RequestRead::Status::tooLarge, {}};
            }
            continue;
        }
        buffer.append(received.substr(0, newline));
        if (buffer.size() > maxBytes) {
            if (newline != std::string_view::npos) {
                return {RequestRead::Status::tooLarge, {}};
            }
            draining = true;
            std::string().swap(buffer);
        } else if (newline != std::string_view::npos) {
            return {RequestRead::Status::line, std::move(buffer)};
        }
    }
}

bool writeAnswer(int fd, std::string_view bytes, int stopFd, Clock::time_point deadline) {
    return writeAll(fd, bytes, Sink::socket,
                    [stopFd, deadline](int full) { return waitFor(full, POLLOUT, stopFd, deadline) == Ready::yes; });
}

}  // namespace quillbrook::dev_agent
