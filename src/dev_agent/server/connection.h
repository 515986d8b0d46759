#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

using Clock = std::chrono::steady_clock;

struct RequestRead {
    enum class Status {
        line,      // `line` holds the request, without its line feed
        tooLarge,  // more than `maxBytes` before the line feed; the rest was read and dropped
        timedOut,  // no complete line before the deadline
        closed,    // the client left without sending anything
        stopped,   // the agent was asked to stop
    };
    Status status;
    std::string line;
};

// Reads one request line of at most `maxBytes` from the non-blocking socket `fd`, waiting until
// `deadline` at most and returning early once `stopFd` becomes readable. A
// client that ends its side after an unterminated line has still made a request.
// An oversized line is drained up to its line feed, so that the client, still
// writing, gets to read the answer.
RequestRead readRequestLine(int fd, int stopFd, Clock::time_point deadline, std::size_t maxBytes);

// Writes all of `bytes`, giving up at `deadline`, when the client has gone, or
// once `stopFd` becomes readable.
bool writeAnswer(int fd, std::string_view bytes, int stopFd, Clock::time_point deadline);

}  // namespace quillbrook::dev_agent
