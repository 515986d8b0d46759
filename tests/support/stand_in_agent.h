#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillbrook::test_support {

// A scripted agent on a temporary Unix socket. Each connection takes the next
// reply of the script (the last one repeats): it reads the request up to its
// line feed, records it, writes the reply's bytes as they are, and closes.
class StandInAgent {
public:
    struct Reply {
        std::string bytes;
        bool readRequest = true;  // false: answer at once, without reading
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
    int connections() const { return connections_.load(); }

    // A fresh directory under /tmp, short enough for any socket path.
    static std::string makeTempDir();

private:
    void serve();
    void answer(int fd);

    std::vector<Reply> script_;
    std::string directory_;
    std::string socketPath_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A reply line {"ok":true,"result":<result>} and its line feed.
std::string okReply(const std::string& resultJson);
// A reply line {"ok":false,"code":<code>,"error":<message>} and its line feed.
std::string errorReply(const std::string& code, const std::string& message);

}  // namespace quillbrook::test_support
