// Speed and memory of `quillbrook-cli mcp` as an assistant's host sees them:
// one server process, `initialize`, then tool calls one after another (each
// sent when the previous answer has arrived) against a fast stand-in agent.
// Reports calls per second, the time from spawn to the first answer and the
// server's peak resident memory, for a small answer, a list of 200 messages
// (~150 KB) and an answer near the 1 MiB framing limit; then checks that the
// memory stays flat over 100,000 calls.
//
// Usage: mcp_bench [path/to/quillbrook-cli [scale of the call counts]]
// on a Release build; an empty path means the quillbrook-cli built alongside.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "support/files.h"
#include "support/piped_child.h"
#include "support/stand_in_agent.h"

namespace {

using quillbrook::test_support::okReply;
using quillbrook::test_support::PipedChild;
using Clock = std::chrono::steady_clock;

// An agent that costs as little as an agent can: a blocking accept, one read
// up to the line feed, one canned answer, close. Nothing is recorded, so the
// figures are the server's and not the stand-in's.
class FastAgent {
public:
    explicit FastAgent(std::string reply)
        : reply_(std::move(reply)), path_(directory_.path() + "/agent.sock") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        listenFd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listenFd_, 16) != 0) {
            throw std::runtime_error("the stand-in agent cannot listen on " + path_);
        }
        thread_ = std::thread([this] { serve(); });
    }

    ~FastAgent() {
        stopping_ = true;
        // A last connection wakes the blocking accept.
        int wake = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        ::connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
        thread_.join();
        ::close(wake);
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }

    const std::string& socketPath() const { return path_; }

private:
    void serve() {
        char buffer[65536];
        for (;;) {
            int fd = ::accept(listenFd_, nullptr, nullptr);
            if (stopping_) {
                ::close(fd);
                return;
            }
            if (fd < 0) {
                continue;
            }
            ssize_t received;
            while ((received = ::read(fd, buffer, sizeof buffer)) > 0 &&
                   std::memchr(buffer, '\n', static_cast<std::size_t>(received)) == nullptr) {
            }
            for (std::string_view rest = reply_; !rest.empty();) {
                ssize_t sent = ::write(fd, rest.data(), rest.size());
                if (sent <= 0) {
                    break;
                }
                rest.remove_prefix(static_cast<std::size_t>(sent));
            }
            ::close(fd);
        }
    }

    std::string reply_;
    quillbrook::test_support::TempDir directory_;
    std::string path_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// A "list_emails" result of `count` messages of `bytesEach` bytes each, with
// the non-ASCII text and solidi that real mail carries.
std::string mailbox(int count, std::size_t bytesEach) {
    std::string emails;
    for (int i = 0; i < count; ++i) {
        std::string message = i == 0 ? "{" : ",{";
        message.append(R"("uid":")").append(std::to_string(40000 + i));
        message.append(R"(","subject":"Re: Quarterly plan \/ draft )").append(std::to_string(i));
        message.append(R"(","from":"J\u00f6rg M\u00fcller <person)").append(std::to_string(i % 97));
        message.append(R"(@example.com>","date":"2026-11-05T09:14:00Z","flags":["\\Seen"],"size":)");
        message.append(std::to_string(1000 + i * 7)).append(R"(,"snippet":")");
        const std::string_view phrase = "See https://example.com/notes \u2014 ";
        while (message.size() + phrase.size() + 2 <= bytesEach) {
            message.append(phrase);
        }
        message.append(bytesEach - 2 - std::min(message.size(), bytesEach - 2), '.');
        emails.append(message).append("\"}");
    }
    return R"({"folder":"INBOX","count":)" + std::to_string(count) + R"(,"emails":[)" + emails + "]}";
}

struct Scenario {
    const char* name;
    std::string reply;  // the agent's answer line
    int calls;
};

struct Figures {
    double callsPerSecond = 0;
    double firstAnswerMs = 0;
    double peakRssMiB = 0;
    std::size_t answerBytes = 0;  // of the last MCP answer line
};

const std::string kInitialize =
    R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{},)"
    R"("clientInfo":{"name":"bench","version":"1"}}})" "\n";

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Thrown rather than exiting, so that the server and the agent are cleaned up.
[[noreturn]] void fail(const char* scenario, const char* what, const std::optional<std::string>& answer) {
    throw std::runtime_error(std::string(scenario) + ": " + what + ": " +
                             (answer ? answer->substr(0, 300) : std::string("(no answer)")));
}

Figures measure(const std::string& cli, const Scenario& scenario) {
    FastAgent agent(scenario.reply);
    Figures figures;
    const auto spawned = Clock::now();
    PipedChild server({cli, "mcp"}, {{"QUILLBROOK_SOCKET", agent.socketPath()}});
    server.send(kInitialize);
    if (auto answer = server.readLine(); !answer || answer->find("protocolVersion") == std::string::npos) {
        fail(scenario.name, "no answer to initialize", answer);
    }
    figures.firstAnswerMs = millisecondsSince(spawned);

    const auto started = Clock::now();
    for (int i = 1; i <= scenario.calls; ++i) {
        server.send(R"({"jsonrpc":"2.0","id":)" + std::to_string(i) +
                    R"(,"method":"tools/call","params":{"name":"list_emails","arguments":{"account":"a@example.com"}}})"
                    "\n");
        auto answer = server.readLine();
        // A failed exchange still answers, with {"error": ...} as its text.
        if (!answer || answer->find(R"({\"error\":)") != std::string::npos) {
            fail(scenario.name, "call failed", answer);
        }
        figures.answerBytes = answer->size() + 1;
    }
    figures.callsPerSecond = scenario.calls / (millisecondsSince(started) / 1000);
    figures.peakRssMiB = server.wait().peakRssKiB / 1024.0;
    return figures;
}

// What any process costs here, for scale: `cat` echoing lines over the same
// pipes, with no agent behind it. Its first echo is the floor for the first
// answer, and its echoes per second the ceiling for calls per second.
struct Baseline {
    double firstEchoMs = 0;
    double echoesPerSecond = 0;
};

Baseline pipeBaseline(int echoes) {
    Baseline baseline;
    const auto spawned = Clock::now();
    PipedChild cat({"/bin/cat"}, {});
    cat.send("ready\n");
    cat.readLine();
    baseline.firstEchoMs = millisecondsSince(spawned);
    const auto started = Clock::now();
    for (int i = 0; i < echoes; ++i) {
        cat.send(R"({"jsonrpc":"2.0","id":1,"method":"ping"})" "\n");
        cat.readLine();
    }
    baseline.echoesPerSecond = echoes / (millisecondsSince(started) / 1000);
    return baseline;
}

void run(int argc, char** argv) {
    const std::string cli = argc > 1 && *argv[1] ? argv[1] : QUILLBROOK_CLI_PATH;
    // A second argument scales the number of calls, for a quick look.
    const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
    auto calls = [scale](int count) { return std::max(1, static_cast<int>(count * scale)); };

    const std::string small = okReply(R"({"accounts":[{"email":"ada@example.com","name":"Ada Lovelace","default":true},)"
                                      R"({"email":"bob@example.org","name":"Bob","default":false}],"count":2,)"
                                      R"("note":"two accounts \/ both active"})");
    const std::vector<Scenario> scenarios = {
        {"small answer", small, calls(20000)},
        {"200 messages", okReply(mailbox(200, 750)), calls(2000)},
        {"near 1 MiB", okReply(mailbox(1390, 750)), calls(300)},
    };

    std::printf("%-13s %7s %13s %13s %10s %13s %10s\n", "scenario", "calls", "agent answer", "MCP answer", "calls/s",
                "first answer", "peak RSS");
    for (const Scenario& scenario : scenarios) {
        Figures f = measure(cli, scenario);
        std::printf("%-13s %7d %11zu B %11zu B %10.0f %10.2f ms %6.1f MiB\n", scenario.name, scenario.calls,
                    scenario.reply.size(), f.answerBytes, f.callsPerSecond, f.firstAnswerMs, f.peakRssMiB);
    }
    Baseline cat = pipeBaseline(calls(20000));
    std::printf("for scale, /bin/cat over the same pipes: first echo %.2f ms after spawn, %.0f echoes/s\n",
                cat.firstEchoMs, cat.echoesPerSecond);

    // Memory must not grow with the number of calls: compare the peak after a
    // thousand calls with the peak after a hundred thousand.
    Figures few = measure(cli, {"flat, 1k", small, calls(1000)});
    Figures many = measure(cli, {"flat, 100k", small, calls(100000)});
    const double growth = many.peakRssMiB - few.peakRssMiB;
    const bool flat = growth < 0.5;
    std::printf("memory over calls: %.1f MiB after %d, %.1f MiB after %d (%+.2f MiB, %.0f calls/s): %s\n",
                few.peakRssMiB, calls(1000), many.peakRssMiB, calls(100000), growth, many.callsPerSecond,
                flat ? "flat" : "GROWS");
    if (!flat) {
        throw std::runtime_error("memory grows with the number of calls");
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        run(argc, argv);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mcp_bench: %s\n", error.what());
        return 1;
    }
}
