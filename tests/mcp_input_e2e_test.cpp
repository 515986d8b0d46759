// `quillbrook-cli mcp` fed more than it can hold: lines beyond the bound and
// messages that find no memory, streamed into the real program's standard
// input as a generator makes them, never held whole or written to disk.

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <signal.h>

#include <gtest/gtest.h>

#include "support/expected_messages.h"
#include "support/piped_child.h"

namespace {

using quillbrook::test_support::kInternalError;
using quillbrook::test_support::kParseError;
using quillbrook::test_support::PipedChild;

const std::string& kStarting = quillbrook::test_support::kMcpStarting;
const std::string& kExiting = quillbrook::test_support::kMcpExiting;

// The longest line the server takes, without its terminator, as the README states it.
constexpr std::size_t kMaxLineBytes = 64 * 1024 * 1024;
constexpr std::size_t kMiB = 1024 * 1024;

const std::map<std::string, std::string> kEnvironment = {{"QUILLBROOK_SOCKET", "/nonexistent/s"},
                                                         {"HOME", "/nonexistent"}};

std::string ping(const std::string& id) { return R"({"jsonrpc":"2.0","method":"ping","id":)" + id + "}\n"; }
std::string pong(const std::string& id) { return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})"; }

// Writes `count` bytes of `pattern` repeated, a mebibyte at a time.
bool sendRepeated(PipedChild& server, std::string_view pattern, std::size_t count) {
    std::string block;
    while (block.size() < kMiB) {
        block.append(pattern);
    }
    block.resize(kMiB - kMiB % pattern.size());
    while (count > 0) {
        std::size_t now = std::min(count, block.size());
        if (!server.send(std::string_view(block).substr(0, now))) {
            return false;
        }
        count -= now;
    }
    return true;
}

// A ping line (without its terminator) of exactly `bytes` bytes, sent piece by piece.
bool sendPaddedPing(PipedChild& server, const std::string& id, std::size_t bytes) {
    const std::string head = R"({"jsonrpc":"2.0","method":"ping","id":)" + id + R"(,"params":{"pad":")";
    const std::string tail = "\"}}";
    return server.send(head) && sendRepeated(server, "x", bytes - head.size() - tail.size()) && server.send(tail);
}

// The server's next `count` answer lines, read while `feed` writes to it from
// another thread. A server that stops answering is killed, which also ends a
// feed blocked on a full pipe: the test fails within bounded time.
std::vector<std::string> answersWhileFeeding(PipedChild& server, std::size_t count, const std::function<void()>& feed) {
    std::thread feeder(feed);
    std::vector<std::string> answers;
    while (answers.size() < count) {
        auto answer = server.readLine(std::chrono::seconds(60));
        if (!answer) {
            ::kill(server.pid(), SIGKILL);
            break;
        }
        answers.push_back(*answer);
    }
    feeder.join();
    return answers;
}

TEST(McpLongLines, AnswersALineBeyondTheBoundWithAParseErrorAndServesTheNext) {
    PipedChild server({QUILLBROOK_CLI_PATH, "mcp"}, kEnvironment);
    auto answers = answersWhileFeeding(server, 3, [&] {
        // The terminator is not part of the line: a carriage return may follow the longest one.
        sendPaddedPing(server, "\"at\"", kMaxLineBytes) && server.send("\r\n") &&
            sendPaddedPing(server, "\"over\"", kMaxLineBytes + 1) && server.send("\n") &&
            server.send(ping("\"after\""));
    });
    EXPECT_EQ(answers, (std::vector<std::string>{pong("\"at\""), kParseError, pong("\"after\"")}));
    PipedChild::Exit exit = server.wait();
    EXPECT_EQ(exit.status, 0);
    EXPECT_EQ(server.errorOutput(), kStarting + kExiting);
}

TEST(McpLongLines, DropsTheBytesOfALineBeyondTheBoundAsTheyArrive) {
    PipedChild server({QUILLBROOK_CLI_PATH, "mcp"}, kEnvironment);
    auto answers = answersWhileFeeding(server, 2, [&] {
        sendRepeated(server, "x", 4 * kMaxLineBytes) && server.send("\n") && server.send(ping("1"));
    });
    EXPECT_EQ(answers, (std::vector<std::string>{kParseError, pong("1")}));
    PipedChild::Exit exit = server.wait();
    EXPECT_EQ(exit.status, 0);
    // The bound is read before the line is known to be too long; nothing after it is kept.
    EXPECT_LT(exit.peakRssKiB * 1024, static_cast<long>(kMaxLineBytes + 32 * kMiB));
}

#if defined(__linux__)
// Only Linux holds a process to a limit of address space.
TEST(McpLongLines, AnswersAMessageThatFindsNoMemoryWithAnInternalErrorAndServesTheNext) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' run time cannot start within a limit of address space";
#endif
    // 96 MiB of address space: room for the server and a line of 48 MiB, not
    // for that line parsed as well (the reader's buffer alone takes 64 MiB).
    PipedChild server({"/bin/sh", "-c", "ulimit -v 98304 && exec \"$0\" mcp", QUILLBROOK_CLI_PATH}, kEnvironment);
    auto answers = answersWhileFeeding(server, 2, [&] {
        const std::string head = R"({"jsonrpc":"2.0","method":"ping","id":"big","params":{"pad":[)";
        server.send(head) && sendRepeated(server, "0,", 48 * kMiB) && server.send("0]}}\n") &&
            server.send(ping("\"after\""));
    });
    EXPECT_EQ(answers, (std::vector<std::string>{kInternalError, pong("\"after\"")}));
    PipedChild::Exit exit = server.wait();
    EXPECT_EQ(exit.status, 0);
    EXPECT_EQ(server.errorOutput(), kStarting + kExiting);
}
#endif

}  // namespace
