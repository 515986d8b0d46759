#include "dev_agent/server/server.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "dev_agent/base/log.h"
#include "dev_agent/base/text.h"
#include "dev_agent/protocol/protocol.h"
#include "dev_agent/server/connection.h"
#include "dev_agent/server/poll_set.h"
#include "dev_agent/server/wake_pipe.h"
#include "dev_agent/server/worker_pool.h"
#include "util/files.h"
#include "util/io.h"
#include "util/process_setup.h"

namespace quillbrook::dev_agent {

namespace {

// Threads that perform complete requests; they read the index side by side
// and take the writer only for what changed, so a few cover the cores and
// the waits on files.
constexpr std::size_t kWorkers = 4;
// Connections open at once, at most; fewer when the descriptor limit is lower.
constexpr std::size_t kMaxConnections = 4096;
// Descriptors the agent needs besides its connections (index, pipes, log).
constexpr std::size_t kOtherDescriptors = 16;
// How long the loop leaves the listen queue alone when descriptors run out:
// accepting again at once would find none and spin.
constexpr std::chrono::milliseconds kDescriptorPause{100};

bool outOfDescriptors(int error) { return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM; }

std::size_t connectionLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMaxConnections;
    }
    auto descriptors = static_cast<std::size_t>(limit.rlim_cur);
    return std::clamp<std::size_t>(descriptors > kOtherDescriptors ? descriptors - kOtherDescriptors : 1, 1,
                                   kMaxConnections);
}

int millisecondsUntil(Clock::time_point deadline, Clock::time_point now) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

std::string describe(const Answer& answer, Clock::time_point started) {
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    std::string text =
        (answer.action.empty() ? std::string("request") : quotedText(answer.action)) + " -> " + answer.code;
    if (!answer.error.empty()) {
        text += ": " + answer.error;
    }
    return text + " (" + std::to_string(elapsed) + " ms)";
}

// The answer to a request that never came whole.
Answer failedRequestAnswer(const RequestRead& read, std::chrono::milliseconds timeout) {
    if (read.status == RequestRead::Status::tooLarge) {
        return errorAnswer("request_too_large",
                           "the request line is longer than " + std::to_string(kMaxRequestBytes) + " bytes");
    }
    return errorAnswer("timeout", "no complete request line within " + std::to_string(timeout.count()) + " ms");
}

// Answers the workers finished, handed back to the serving loop, which a byte
// in a pipe wakes.
class FinishedAnswers {
public:
    int fd() const { return pipe_.fd(); }

    void put(std::uint64_t client, Answer answer) {
        {
            std::lock_guard lock(mutex_);
            answers_.emplace_back(client, std::move(answer));
        }
        pipe_.wake();
    }

    std::vector<std::pair<std::uint64_t, Answer>> take() {
        pipe_.drain();
        std::lock_guard lock(mutex_);
        return std::exchange(answers_, {});
    }

private:
    WakePipe pipe_{"answer pipe"};
    std::mutex mutex_;
    std::vector<std::pair<std::uint64_t, Answer>> answers_;
};

struct Client {
    enum class Step { reading, working, writing };

    UniqueFd fd;
    Clock::time_point started;
    Clock::time_point deadline;  // for the step it is at
    RequestReader reader{kMaxRequestBytes};
    Step step = Step::reading;
    std::string answer;
    std::string_view unwritten;
    std::string logText;
};

// Every connection, read and written by one loop: a client that says nothing
// or reads slowly costs a descriptor and a little memory, never a thread.
class ServingLoop {
public:
    ServingLoop(const Listener& listener, const StopSignal& stop, ActionContext& context,
                std::chrono::milliseconds timeout)
        : listener_(listener), stop_(stop), context_(context), timeout_(timeout), limit_(connectionLimit()) {}

    void run() {
        while (!stop_.requested()) {
            if (!waitAndServe()) {
                return;
            }
        }
    }

private:
    bool waitAndServe() {
        Clock::time_point now = Clock::now();
        if (clients_.empty() && servedSinceIdle_) {
            // A burst of large requests or answers leaves the heap grown; idle, the agent gives it back.
            releaseFreeMemory();
            servedSinceIdle_ = false;
        }
        bool accepting = clients_.size() < limit_ && now >= acceptAgainAt_;
        noteLimit();
        PollSet set;
        set.add(stop_.fd(), POLLIN, [](short) {});  // wakes the poll only: run() asks for the stop
        set.add(finished_.fd(), POLLIN, [&](short) {
            for (auto& [id, answer] : finished_.take()) {
                startWriting(id, std::move(answer), now);
            }
        });
        Clock::time_point wakeAt = now + std::chrono::hours(1);
        if (!accepting && clients_.size() < limit_) {
            wakeAt = acceptAgainAt_;
        }
        for (const auto& [id, client] : clients_) {
            if (client.step != Client::Step::working) {
                short events = client.step == Client::Step::reading ? POLLIN : POLLOUT;
                set.add(client.fd.get(), events, [&, id = id](short revents) { serveClient(id, revents != 0, now); });
                wakeAt = std::min(wakeAt, client.deadline);
            }
        }
        if (accepting) {
            set.add(listener_.fd(), POLLIN, [&](short revents) {
                if ((revents & POLLIN) != 0) {
                    acceptClients(now);
                }
            });
        }
        if (!set.wait(millisecondsUntil(wakeAt, now))) {
            logLine(std::string("poll failed: ") + std::strerror(errno));
            return false;
        }
        now = Clock::now();
        set.dispatch();
        return true;
    }

    void serveClient(std::uint64_t id, bool ready, Clock::time_point now) {
        Client& client = clients_.at(id);
        if (client.step == Client::Step::reading) {
            std::optional<RequestRead> read = ready ? client.reader.readFrom(client.fd.get()) : std::nullopt;
            if (!read && now >= client.deadline) {
                read = client.reader.timedOut();
            }
            if (read) {
                requestRead(id, std::move(*read), now);
            }
            return;
        }
        bool present = !ready || writeAvailable(client.fd.get(), client.unwritten);
        if (present && client.unwritten.empty()) {
            logLine(client.logText);
            clients_.erase(id);
        } else if (!present || now >= client.deadline) {
            logLine(client.logText + " [the client left before the answer]");
            clients_.erase(id);
        }
    }

    void requestRead(std::uint64_t id, RequestRead read, Clock::time_point now) {
        switch (read.status) {
        case RequestRead::Status::closed:
            logLine("a client left without sending a request");
            clients_.erase(id);
            return;
        case RequestRead::Status::line:
            clients_.at(id).step = Client::Step::working;
            workers_.submit([this, id, line = std::move(read.line)] { finished_.put(id, answerFor(line)); });
            return;
        default:
            startWriting(id, failedRequestAnswer(read, timeout_), now);
        }
    }

    Answer answerFor(const std::string& line) {
        // answerRequest answers every failure of an action; what is left is
        // running out of memory on the way.
        try {
            return answerRequest(context_, line);
        } catch (const std::exception& error) {
            return errorAnswer("internal_error", error.what());
        }
    }

    void startWriting(std::uint64_t id, Answer answer, Clock::time_point now) {
        auto found = clients_.find(id);
        if (found == clients_.end()) {
            return;
        }
        Client& client = found->second;
        client.logText = describe(answer, client.started);
        client.answer = std::move(answer.line);
        client.unwritten = client.answer;
        client.step = Client::Step::writing;
        servedSinceIdle_ = true;
        // The answer gets its own time: a slow action must not eat the client's.
        client.deadline = now + timeout_;
    }

    void acceptClients(Clock::time_point now) {
        while (clients_.size() < limit_) {
            UniqueFd fd(::accept(listener_.fd(), nullptr, nullptr));
            if (!fd.valid()) {
                // Otherwise the queue is empty, or the client gave up before it was accepted.
                if (outOfDescriptors(errno)) {
                    pause(std::string("cannot accept a connection: ") + std::strerror(errno), now);
                }
                return;
            }
            if (paused_) {
                logLine("accepting connections again");
                paused_ = false;
            }
            setNonBlockingCloseOnExec(fd.get());
            Client& client = clients_[nextId_++];
            client.fd = std::move(fd);
            client.started = now;
            client.deadline = now + timeout_;
        }
    }

    void pause(const std::string& reason, Clock::time_point now) {
        if (!paused_) {
            logLine(reason + "; pausing new connections until some close");
        }
        paused_ = true;
        acceptAgainAt_ = now + kDescriptorPause;
    }

    void noteLimit() {
        if (clients_.size() >= limit_ && !paused_) {
            logLine(std::to_string(limit_) +
                    " connections are open, the most this agent serves at once (it follows the limit of open "
                    "files); pausing new connections until some close");
            paused_ = true;
        }
    }

    const Listener& listener_;
    const StopSignal& stop_;
    ActionContext& context_;
    std::chrono::milliseconds timeout_;
    std::size_t limit_;
    std::map<std::uint64_t, Client> clients_;
    std::uint64_t nextId_ = 0;
    bool paused_ = false;
    bool servedSinceIdle_ = false;
    Clock::time_point acceptAgainAt_{};
    FinishedAnswers finished_;
    // Last, so that it is gone (its threads joined) before what they use.
    WorkerPool workers_{kWorkers};
};

}  // namespace

void serve(const Listener& listener, const StopSignal& stop, ActionContext& context,
           std::chrono::milliseconds requestTimeout) {
    ServingLoop(listener, stop, context, requestTimeout).run();
}

}  // namespace quillbrook::dev_agent
