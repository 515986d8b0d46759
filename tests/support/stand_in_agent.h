#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "util/unique_fd.h"

namespace quillbrook::test_support {

// A scripted agent on a temporary Unix socket. Each connection takes the next
// reply of the script (the last one repeats): it reads the request up to its
// line feed, records it, writes the reply's bytes as they are, and closes.
// The other members of a reply script the faults an agent can show.
class StandInAgent {
public:
    struct Reply {
        std::string bytes = {};
        bool readRequest = true;  // false: answer at once and never read the request
        // Written after `bytes`, one after another, each once the client has read
        // everything written before it: the client gets each in a read of its own.
        std::vector<std::string> later = {};
        // Leaves the request unread (it is only looked at), so that the close
        // resets the connection instead of ending it.
        bool reset = false;
        // Before closing: once the client has sent something, wait until it has
        // sent nothing more for this long, or until it hangs up. A stall for a
        // client that waits for its answer; for one still writing, the time to
        // fill the socket's buffer.
        std::chrono::milliseconds stall{0};
    };

    // How a connection ended, seen from the agent's side just before it closed.
    struct Closing {
        std::size_t unreadBytes = 0;   // what the client sent that was never read
        bool clientConnected = false;  // false when the client had already hung up
    };

    explicit StandInAgent(std::vector<Reply> script);
    // A socket at `path` (which must not exist yet), for tests of where the client looks.
    StandInAgent(std::vector<Reply> script, std::string path);
    ~StandInAgent();
    StandInAgent(const StandInAgent&) = delete;
    StandInAgent& operator=(const StandInAgent&) = delete;

    const std::string& socketPath() const { return socketPath_; }
    // The request lines seen so far, without their line feeds; a connection that
    // ended before a line feed records what it sent, marked by a leading "<eof>".
    std::vector<std::string> requests() const;
    // The requests once `count` have arrived (or after a few seconds, whatever came).
    std::vector<std::string> waitForRequests(std::size_t count) const;
    // How each connection ended, in order, once `count` have (or after a few seconds).
    std::vector<Closing> waitForClosings(std::size_t count) const;
    int connections() const { return connections_.load(); }

private:
    void serve();
    void answer(int fd);

    std::vector<Reply> script_;
    std::optional<TempDir> directory_;
    std::string socketPath_;
    UniqueFd listenFd_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> requests_;
    std::vector<Closing> closings_;
    std::thread thread_;
};

// A reply line {"ok":true,"result":<result>} and its line feed.
std::string okReply(const std::string& resultJson);
// A reply line {"ok":false,"code":<code>,"error":<message>} and its line feed.
std::string errorReply(const std::string& code, const std::string& message);

}  // namespace quillbrook::test_support
