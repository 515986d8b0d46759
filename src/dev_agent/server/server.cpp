#include "dev_agent/server/server.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <string>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "dev_agent/base/log.h"
#include "dev_agent/base/text.h"
#include "dev_agent/protocol/protocol.h"
#include "dev_agent/server/connection.h"
#include "dev_agent/server/connection_threads.h"
#include "util/files.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::size_t kMaxConnections = 32;
// How long the loop leaves the listen queue alone when descriptors run out:
// accepting again at once would find none and spin.
constexpr std::chrono::milliseconds kDescriptorPause{100};
constexpr std::chrono::milliseconds kRoomCheck{100};

bool outOfDescriptors(int error) { return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM; }

// Sleeps for `pause`, or less when a stop is asked for.
void pauseUnlessStopped(const StopSignal& stop, std::chrono::milliseconds pause) {
    pollfd entry{stop.fd(), POLLIN, 0};
    ::poll(&entry, 1, static_cast<int>(pause.count()));
}

std::string describe(const Answer& answer, Clock::time_point started) {
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    std::string text = (answer.action.empty() ? std::string("request") : quotedText(answer.action)) + " -> " + answer.code;
    if (!answer.error.empty()) {
        text += ": " + answer.error;
    }
    return text + " (" + std::to_string(elapsed) + " ms)";
}

Answer answerFor(ActionContext& context, const RequestRead& read, std::chrono::milliseconds timeout) {
    switch (read.status) {
    case RequestRead::Status::line:
        return answerRequest(context, read.line);
    case RequestRead::Status::tooLarge:
        return errorAnswer("request_too_large",
                           "the request line is longer than " + std::to_string(kMaxRequestBytes) + " bytes");
    default:
        return errorAnswer("timeout", "no complete request line within " + std::to_string(timeout.count()) + " ms");
    }
}

void serveOne(int client, const StopSignal& stop, ActionContext& context, std::chrono::milliseconds timeout) {
    Clock::time_point started = Clock::now();
    Clock::time_point deadline = started + timeout;
    RequestRead read = readRequestLine(client, stop.fd(), deadline, kMaxRequestBytes);
    if (read.status == RequestRead::Status::closed) {
        logLine("a client left without sending a request");
        return;
    }
    if (read.status == RequestRead::Status::stopped) {
        return;
    }
    Answer answer = answerFor(context, read, timeout);
    // The answer gets its own time: a slow action must not eat the client's.
    if (!writeAnswer(client, answer.line, stop.fd(), Clock::now() + timeout)) {
        logLine(describe(answer, started) + " [the client left before the answer]");
        return;
    }
    logLine(describe(answer, started));
}

}  // namespace

void serve(const Listener& listener, const StopSignal& stop, ActionContext& context,
           std::chrono::milliseconds requestTimeout) {
    ConnectionThreads connections(kMaxConnections);
    bool pausedForDescriptors = false;
    while (!stop.requested()) {
        if (!connections.waitForRoom(kRoomCheck)) {
            continue;
        }
        pollfd entries[2] = {{listener.fd(), POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            logLine(std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if ((entries[0].revents & POLLIN) == 0) {
            continue;
        }
        UniqueFd client(::accept(listener.fd(), nullptr, nullptr));
        if (!client.valid()) {
            // Otherwise the client gave up before it was accepted.
            if (outOfDescriptors(errno)) {
                if (!pausedForDescriptors) {
                    logLine(std::string("cannot accept a connection: ") + std::strerror(errno) +
                            "; pausing new connections until some close");
                }
                pausedForDescriptors = true;
                pauseUnlessStopped(stop, kDescriptorPause);
            }
            continue;
        }
        if (pausedForDescriptors) {
            logLine("accepting connections again");
            pausedForDescriptors = false;
        }
        setNonBlockingCloseOnExec(client.get());
        connections.start([client = std::move(client), &stop, &context, requestTimeout] {
            // An exception leaving a connection's thread would end the whole
            // agent; one client's failure ends only its connection.
            try {
                serveOne(client.get(), stop, context, requestTimeout);
            } catch (const std::exception& error) {
                logLine(std::string("a connection failed: ") + error.what());
            }
        });
    }
}

}  // namespace quillbrook::dev_agent
