#pragma once

#include <string>
#include <string_view>

#include "util/unique_fd.h"

namespace quillbrook::test_support {

// A client connection to a Unix socket whose every step the test takes itself.
class UnixConnection {
public:
    // Connects to `path`; throws when nothing accepts there.
    explicit UnixConnection(const std::string& path);

    // Writes all of `bytes`; throws when the peer is gone before they are written.
    void send(std::string_view bytes);
    // Like send, but reports a peer that stopped reading as false.
    bool trySend(std::string_view bytes);
    // Ends this side's sending; the peer reads the end of the stream.
    void endSending();
    // What arrives up to the first line feed (without it), or up to the end.
    std::string readLine();
    // Whether bytes, or the end, are there to read now, without waiting.
    bool readable() const;

private:
    UniqueFd fd_;
};

// One exchange: connect, write `bytes` as they are (as far as the peer reads
// them), read up to the first line feed or the end, close. Returns the line
// without its line feed.
std::string roundTrip(const std::string& socketPath, const std::string& bytes);

// Whether something accepts connections at `path` now.
bool acceptsConnections(const std::string& path);

// Leaves a socket file at `path` that nothing listens on, as a process that
// was killed outright does.
void leaveStaleSocket(const std::string& path);

}  // namespace quillbrook::test_support
