#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "util/line_splitter.h"

namespace quillbrook::dev_agent {

using Clock = std::chrono::steady_clock;

struct RequestRead {
    enum class Status {
        line,      // `line` holds the request, without its line feed
        tooLarge,  // more than the limit before the line feed; the rest was read and dropped
        timedOut,  // no complete line before the deadline
        closed,    // the client left without sending anything
    };
    Status status;
    std::string line;
};

// Collects one request line of at most `maxBytes` from a non-blocking socket
// as its bytes arrive, so that one thread can read from every client at once.
// A client that ends its side after an unterminated line has still made a
// request. An oversized line is drained up to its line feed, so that the
// client, still writing, gets to read the answer.
class RequestReader {
public:
    explicit RequestReader(std::size_t maxBytes) : splitter_(maxBytes, LineSplitter::Ending::lineFeed) {}

    // Reads what `fd` holds now: the request once it is complete (or known to
    // be too large, or the client left), nothing while more is to come.
    std::optional<RequestRead> readFrom(int fd);
    // What the request came to when its time ran out.
    RequestRead timedOut() const;
    // Whether the client has sent anything yet.
    bool started() const { return splitter_.dropping() || !buffer_.empty(); }

private:
    LineSplitter splitter_;
    std::string buffer_;
};

// Writes as much of `rest` to the non-blocking socket `fd` as it takes now and
// removes that from `rest`; false when the client has gone.
bool writeAvailable(int fd, std::string_view& rest);

}  // namespace quillbrook::dev_agent
