#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "util/unique_fd.h"

namespace quillbrook::fuzz_support {

// An agent that costs as little as an agent can, for fuzzing, soaking and
// benchmarking the client side: one thread, a blocking accept, one read up to
// the line feed, the answer the responder gives, close. Nothing is recorded,
// so it runs for millions of exchanges in constant memory.
class CannedAgent {
public:
    // Gets the request line (without its line feed); returns the bytes to answer with.
    using Responder = std::function<std::string(std::string_view request)>;

    explicit CannedAgent(Responder responder);
    // Answers every request with the same bytes.
    explicit CannedAgent(std::string reply);
    ~CannedAgent();
    CannedAgent(const CannedAgent&) = delete;
    CannedAgent& operator=(const CannedAgent&) = delete;

    const std::string& socketPath() const { return path_; }

private:
    void serve();

    Responder responder_;
    std::string directory_;
    std::string path_;
    UniqueFd listenFd_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The agent's answer {"ok":true,"result":...} around the request it got, so
// that what a client sends comes back to it as a result.
std::string echoResult(std::string_view request);

}  // namespace quillbrook::fuzz_support
