// The built quillbrook-cli, as a command and as an MCP server, against an agent
// that misbehaves on the wire: answers that trickle in, sit at the framing
// limit, break off, reset or stall, and a request the agent never reads. Every
// fault ends in its defined line and status, or its tool result, and the MCP
// server goes on to answer its next line.

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/expected_messages.h"
#include "support/mcp_lines.h"
#include "support/piped_child.h"
#include "support/process.h"
#include "support/stand_in_agent.h"

namespace {

using namespace quillbrook::test_support;
using Reply = StandInAgent::Reply;

constexpr std::size_t kFramingLimit = 1024 * 1024;
constexpr auto kStall = std::chrono::milliseconds(200);
const std::string kListAccounts = R"({"action":"list_accounts"})";

// How a fault must end on each face of the program.
struct Outcome {
    std::string out;       // the command's standard output
    std::string err;       // the command's standard error
    int status;            // the command's exit status
    std::string toolText;  // the text of the MCP tool result
};

struct Fault {
    std::string name;
    Reply reply;
    Outcome outcome;
    std::size_t unreadAtClose = 0;  // the bytes of the request the agent left unread: a reset
};

Outcome success(const std::string& pretty, const std::string& compact) { return {pretty, "", 0, compact}; }

Outcome failure(const std::string& line, int status) {
    return {"", line + "\n", status, R"({"error":")" + line + R"("})"};
}

const Outcome kLost = failure(kConnectionLost, 3);

// A short answer whose name holds a two-byte character, so that some cuts split it.
const std::string kAnswer = okReply(R"({"name":"Zoë"})");
const Outcome kAnswered = success("{\n  \"name\": \"Zoë\"\n}\n", R"({"name":"Zoë"})");

std::map<std::string, std::string> environment(const std::string& socketPath) {
    return {{"QUILLBROOK_SOCKET", socketPath}, {"HOME", "/nonexistent"}};
}

// `answer` one byte per write, each written once the client has read the one before.
Reply trickled(const std::string& answer) {
    Reply reply;
    for (char byte : answer) {
        reply.later.emplace_back(1, byte);
    }
    return reply;
}

// An answer line of exactly `size` bytes, {"ok":true,"result":{"pad":"ppp…"}},
// whose line feed is sent only once the client has read the whole line.
struct PaddedAnswer {
    Reply reply;
    std::string pad;
};

PaddedAnswer paddedAnswer(std::size_t size) {
    const std::string head = R"({"ok":true,"result":{"pad":")";
    const std::string tail = "\"}}";
    std::string pad(size - head.size() - tail.size(), 'p');
    return {{.bytes = head + pad + tail, .later = {"\n"}}, pad};
}

// Long texts, such as a 1 MiB answer, appear in a failure by their start and size.
std::string shown(const std::string& text) {
    constexpr std::size_t kShown = 160;
    return text.size() <= kShown ? text : text.substr(0, kShown) + "... (" + std::to_string(text.size()) + " bytes)";
}

void expectSame(const std::string& actual, const std::string& expected, const std::string& what) {
    EXPECT_TRUE(actual == expected) << what << "\n  actual:   " << shown(actual) << "\n  expected: " << shown(expected);
}

// Each fault against `accounts list`: one agent per run, the request complete
// before the fault, the outcome on both output streams and in the status.
void expectOnTheCommandLine(const std::vector<Fault>& faults) {
    for (const Fault& fault : faults) {
        StandInAgent agent({fault.reply});
        ProcessResult run = runProcess({QUILLBROOK_CLI_PATH, "accounts", "list"}, environment(agent.socketPath()));
        expectSame(run.out, fault.outcome.out, fault.name);
        expectSame(run.err, fault.outcome.err, fault.name);
        EXPECT_EQ(run.status, fault.outcome.status) << fault.name;
        EXPECT_EQ(agent.waitForRequests(1), std::vector<std::string>{kListAccounts}) << fault.name;
        auto closings = agent.waitForClosings(1);
        ASSERT_EQ(closings.size(), 1u) << fault.name;
        EXPECT_EQ(closings[0].unreadBytes, fault.unreadAtClose) << fault.name;
    }
}

// The faults one after another to one `mcp` process: each tool call ends in
// its tool result, and the line after it is answered.
void expectOverMcp(const std::vector<Fault>& faults) {
    std::vector<Reply> script;
    for (const Fault& fault : faults) {
        script.push_back(fault.reply);
    }
    StandInAgent agent(script);
    PipedChild server({QUILLBROOK_CLI_PATH, "mcp"}, environment(agent.socketPath()));
    int id = 0;
    for (const Fault& fault : faults) {
        ++id;
        server.send(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                    R"(,"method":"tools/call","params":{"name":"list_accounts","arguments":{}}})"
                    "\n");
        expectSame(server.readLine().value_or("<no answer>"), toolAnswer(std::to_string(id), fault.outcome.toolText),
                   fault.name);
        server.send(R"({"jsonrpc":"2.0","id":"next","method":"ping"})"
                    "\n");
        EXPECT_EQ(server.readLine(), R"({"id":"next","jsonrpc":"2.0","result":{}})") << fault.name;
    }
    EXPECT_EQ(agent.waitForRequests(faults.size()), std::vector<std::string>(faults.size(), kListAccounts));
    auto closings = agent.waitForClosings(faults.size());
    ASSERT_EQ(closings.size(), faults.size());
    for (std::size_t i = 0; i < faults.size(); ++i) {
        EXPECT_EQ(closings[i].unreadBytes, faults[i].unreadAtClose) << faults[i].name;
    }
    EXPECT_EQ(server.wait().status, 0);
    EXPECT_EQ(server.errorOutput(), kMcpStarting + kMcpExiting);
}

TEST(AgentFaults, AnswersThatArriveInPiecesOrAtTheFramingLimit) {
    const PaddedAnswer atLimit = paddedAnswer(kFramingLimit);
    const PaddedAnswer overLimit = paddedAnswer(kFramingLimit + 1);
    const std::vector<Fault> faults = {
        {"answer trickled one byte per write", trickled(kAnswer), kAnswered},
        {"error answer trickled one byte per write", trickled(errorReply("busy", "try later")),
         failure("busy: try later", 1)},
        {"answer of 1 MiB, line feed in a later read", atLimit.reply,
         success("{\n  \"pad\": \"" + atLimit.pad + "\"\n}\n", R"({"pad":")" + atLimit.pad + R"("})")},
        {"answer of 1 MiB and 1 byte, line feed in a later read", overLimit.reply, failure(kResponseTooLarge, 1)},
        // Where the line feed arrives does not move the limit.
        {"answer of 1 MiB, line feed in the same write",
         {.bytes = atLimit.reply.bytes + "\n"},
         success("{\n  \"pad\": \"" + atLimit.pad + "\"\n}\n", R"({"pad":")" + atLimit.pad + R"("})")},
        {"answer of 1 MiB and 1 byte, line feed in the same write",
         {.bytes = overLimit.reply.bytes + "\n"},
         failure(kResponseTooLarge, 1)},
    };
    expectOnTheCommandLine(faults);
    expectOverMcp(faults);
}

TEST(AgentFaults, AnswersThatBreakOffAreALostConnection) {
    std::vector<Fault> faults;
    for (std::size_t cut = 0; cut < kAnswer.size(); ++cut) {
        faults.push_back({"answer cut after " + std::to_string(cut) + " bytes", {kAnswer.substr(0, cut)}, kLost});
    }
    faults.push_back({"whole answer", {kAnswer}, kAnswered});
    faults.push_back({.name = "reset mid-answer",
                      .reply = {.bytes = kAnswer.substr(0, 12), .reset = true},
                      .outcome = kLost,
                      .unreadAtClose = kListAccounts.size() + 1});
    faults.push_back({"stall mid-answer then close", {.bytes = kAnswer.substr(0, 12), .stall = kStall}, kLost});
    faults.push_back({"stall before answering then close", {.stall = kStall}, kLost});
    expectOnTheCommandLine(faults);
    expectOverMcp(faults);
}

TEST(AgentFaults, TheLineFeedEndsTheExchangeWithoutWaitingForTheAgentToClose) {
    // The agent holds the connection far longer than the client needs to hang up.
    StandInAgent agent({{.bytes = kAnswer + R"({"ok":false})", .stall = std::chrono::seconds(5)}});
    ProcessResult run = runProcess({QUILLBROOK_CLI_PATH, "accounts", "list"}, environment(agent.socketPath()));
    EXPECT_EQ(run.out, kAnswered.out);
    EXPECT_EQ(run.status, 0);
    auto closings = agent.waitForClosings(1);
    ASSERT_EQ(closings.size(), 1u);
    EXPECT_FALSE(closings[0].clientConnected);
}

// The client writes its whole request before it reads, and it has no timeouts:
// an agent that accepts and never reads keeps it waiting in that write for as
// long as the agent holds the connection, just as an agent that never answers
// keeps it waiting in its read. The agent's close ends the wait: the write
// fails (without SIGPIPE) and the exchange is a lost connection, status 3. A
// timeout of the client's own would fail agents that are merely slow; reading
// before the request is written would take an answer to a request the agent
// never saw.
const Reply kNeverReads{.readRequest = false, .stall = kStall};

// The agent's view of the one connection that it never read: the request filled
// the socket's buffer and the client was still in its write when the agent closed.
void expectClientWasStuckInItsWrite(const StandInAgent& agent, std::size_t connection, std::size_t requestBytes) {
    auto closings = agent.waitForClosings(connection + 1);
    ASSERT_EQ(closings.size(), connection + 1);
    EXPECT_GT(closings[connection].unreadBytes, 0u);
    EXPECT_LT(closings[connection].unreadBytes, requestBytes);
    EXPECT_TRUE(closings[connection].clientConnected);
}

TEST(AgentFaults, RequestThatTheAgentNeverReadsWaitsForItsCloseThenIsALostConnection) {
    // A reply to a long message carries the whole message quoted: over 1 MB.
    const std::string line = "A long line of the original message, quoted in the reply.";
    std::string bodyInJson;
    std::size_t bodyBytes = 0;
    while (bodyBytes < 1000000) {
        bodyInJson += line + "\\n";
        bodyBytes += line.size() + 1;
    }
    const std::string original =
        okReply(R"({"from":"ada@example.com","subject":"Long","body":")" + bodyInJson + R"("})");
    {
        StandInAgent agent({{original}, kNeverReads});
        ProcessResult run = runProcess({QUILLBROOK_CLI_PATH, "draft", "reply", "7", "--body", "Agreed."},
                                       environment(agent.socketPath()));
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, kConnectionLost + "\n");
        EXPECT_EQ(run.status, 3);
        EXPECT_EQ(agent.requests(), std::vector<std::string>{R"({"action":"read_email","folder":"INBOX","uid":"7"})"});
        expectClientWasStuckInItsWrite(agent, 1, bodyBytes);
    }
    {
        StandInAgent agent({kNeverReads});
        PipedChild server({QUILLBROOK_CLI_PATH, "mcp"}, environment(agent.socketPath()));
        const std::string draftBody(4 * 1024 * 1024, 'w');
        server.send(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"create_draft","arguments":)"
                    R"({"to":"b@y.org","subject":"Big","body":")" +
                    draftBody +
                    R"("}}})"
                    "\n");
        EXPECT_EQ(server.readLine(), toolAnswer("1", kLost.toolText));
        server.send(R"({"jsonrpc":"2.0","id":2,"method":"ping"})"
                    "\n");
        EXPECT_EQ(server.readLine(), R"({"id":2,"jsonrpc":"2.0","result":{}})");
        expectClientWasStuckInItsWrite(agent, 0, draftBody.size());
        EXPECT_EQ(server.wait().status, 0);
    }
}

}  // namespace
