// `quillbrook-cli mcp` as an MCP client runs it: a child process with pipes on
// standard input and output, against a stand-in agent.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/expected_messages.h"
#include "support/mcp_lines.h"
#include "support/piped_child.h"
#include "support/process.h"
#include "support/stand_in_agent.h"
#include "util/version.h"

namespace {

using quillbrook::test_support::okReply;
using quillbrook::test_support::PipedChild;
using quillbrook::test_support::ProcessResult;
using quillbrook::test_support::runProcess;
using quillbrook::test_support::StandInAgent;
using quillbrook::test_support::withoutInstructions;

const std::string& kStarting = quillbrook::test_support::kMcpStarting;
const std::string& kExiting = quillbrook::test_support::kMcpExiting;
using quillbrook::test_support::kParseError;

std::map<std::string, std::string> environment(const std::string& socketPath) {
    return {{"QUILLBROOK_SOCKET", socketPath}, {"HOME", "/nonexistent"}};
}

ProcessResult runServer(const std::string& input,
                        std::map<std::string, std::string> env = environment("/nonexistent/s")) {
    return runProcess({QUILLBROOK_CLI_PATH, "mcp"}, env, input);
}

const std::string kServerInfo = R"({"name":"Quillbrook","version":")" + std::string(quillbrook::kVersion) + R"("})";

std::string ping(const std::string& id) { return R"({"jsonrpc":"2.0","method":"ping","id":)" + id + "}\n"; }
std::string pong(const std::string& id) { return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})" + "\n"; }

TEST(McpProcess, LogsOnlyStartAndStopWhenQuiet) {
    ProcessResult run = runServer(ping("1") + "{\"method\":\"notifications/initialized\"}\n");
    EXPECT_EQ(run.out, pong("1"));
    EXPECT_EQ(run.err, kStarting + kExiting);
    EXPECT_EQ(run.status, 0);

    ProcessResult silent = runServer("");
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(silent.err, kStarting + kExiting);
    EXPECT_EQ(silent.status, 0);
}

TEST(McpProcess, LogsEveryStepWhenTheDebugVariableIsPresentEvenEmpty) {
    // The first 80 characters end in four multi-byte ones, which a cut by bytes would split.
    const std::string head = R"({"jsonrpc":"2.0","method":"ping","id":")";
    const std::string first80 = head + std::string(76 - head.size(), 'a') + "\u00e9\u00e9\u20ac\U0001F600";
    const std::string longLine = first80 + std::string(130, 'b') + "\"}";
    const std::string input = longLine + "\n" + "\n" + "{\"a\"\n" + R"({"method":"notifications/initialized"})" + "\n" +
                              R"({"method":"notifications/roots/list_changed"})" + "\n" +
                              R"({"id":2,"method":"tools/call","params":{"name":"send_email"}})" + "\n";
    auto env = environment("/nonexistent/s");
    env["QUILLBROOK_MCP_DEBUG"] = "";
    ProcessResult run = runServer(input, env);
    EXPECT_EQ(run.err,
              kStarting + "[MCP] Received: " + first80 +
                  "...\n"
                  "[MCP] Sent response\n"
                  "[MCP] Received: {\"a\"...\n"
                  "[MCP] Sent response\n"
                  "[MCP] Received: {\"method\":\"notifications/initialized\"}...\n"
                  "[MCP] Client initialized\n"
                  "[MCP] Received: {\"method\":\"notifications/roots/list_changed\"}...\n"
                  "[MCP] Ignored notification: \"notifications\\/roots\\/list_changed\"\n"
                  "[MCP] Received: {\"id\":2,\"method\":\"tools/call\",\"params\":{\"name\":\"send_email\"}}...\n"
                  "[MCP] Calling tool: send_email\n"
                  "[MCP] Tool error: Unknown tool: send_email\n"
                  "[MCP] Sent response\n" +
                  kExiting);
    EXPECT_EQ(run.status, 0);
}

TEST(McpProcess, SkipsEmptyLinesAndTakesCrLfAndAFinalLineWithoutFeed) {
    ProcessResult run = runServer(
        "\n\r\n"
        R"({"method":"ping","id":1})"
        "\r\n"
        R"({"method":"ping","id":2})");
    EXPECT_EQ(run.out, pong("1") + pong("2"));
    EXPECT_EQ(run.status, 0);
}

TEST(McpProcess, AnswersNoNotificationItDoesNotKnow) {
    ProcessResult run = runServer(R"({"jsonrpc":"2.0","method":"notifications/roots/list_changed"})"
                                  "\n" +
                                  ping("1") + R"({"jsonrpc":"2.0","method":"notifications/progress","params":{}})");
    EXPECT_EQ(run.out, pong("1"));
    EXPECT_EQ(run.err, kStarting + kExiting);
    EXPECT_EQ(run.status, 0);
}

TEST(McpProcess, KeepsACarriageReturnThatEndsTheInputInItsLine) {
    // Only a line feed ends a line: a lone carriage return after the last one is a line that cannot parse.
    EXPECT_EQ(runServer(ping("1") + "\r").out, pong("1") + kParseError + "\n");
    EXPECT_EQ(runServer(ping("1") + "\r\r\n").out, pong("1") + kParseError + "\n");
}

TEST(McpProcess, AnswersEveryMalformedLineAndCarriesOn) {
    const std::vector<std::string> malformed = {
        "   ",
        "[" + ping("1").substr(0, ping("1").size() - 1) + "]",
        "{\"id\":1,\"method\":\"\xFF\xFE\"}",
        std::string("{\"id\":1,\0\"method\":\"ping\"}", 25),
        R"({"id":1e400,"method":"ping"})",
        std::string(300000, '[') + std::string(300000, ']'),
        R"({"id":1,"method":"ping","junk":")" + std::string(8 * 1024 * 1024, '\x80') + "\"}",
    };
    std::string input;
    std::string expected;
    for (const std::string& line : malformed) {
        input += line + "\n";
        expected += kParseError + "\n";
    }
    input += ping("\"still here\"");
    expected += pong("\"still here\"");
    ProcessResult run = runServer(input);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, kStarting + kExiting);
    EXPECT_EQ(run.status, 0);
}

TEST(McpProcess, PassesAMegabyteArgumentThroughToTheAgent) {
    StandInAgent agent({{okReply(R"({"draft_id":"D-1"})")}});
    const std::string body(3 * 1024 * 1024, 'w');
    ProcessResult run =
        runServer(R"({"id":1,"method":"tools/call","params":{"name":"create_draft","arguments":{"body":")" + body +
                      R"(","to":"b@y.org"}}})" + "\n",
                  environment(agent.socketPath()));
    EXPECT_EQ(run.out,
              R"({"id":1,"jsonrpc":"2.0","result":{"content":[{"text":"{\"draft_id\":\"D-1\"}","type":"text"}]}})"
              "\n");
    EXPECT_EQ(agent.requests(),
              std::vector<std::string>{R"({"action":"create_draft","body":")" + body + R"(","to":"b@y.org"})"});
}

// A server/discover without the protocol version in its _meta is a legacy
// request: it is refused with -32601, and the initialize that a probing client
// falls back to is served by the same process.
TEST(McpProcess, RefusesDiscoverThenServesTheInitializeFallback) {
    StandInAgent agent({{okReply(R"({"accounts":[{"email":"a@x.org"}]})")}});
    PipedChild server({QUILLBROOK_CLI_PATH, "mcp"}, environment(agent.socketPath()));

    server.send(R"({"jsonrpc":"2.0","id":1,"method":"server/discover","params":{}})"
                "\n");
    EXPECT_EQ(server.readLine(),
              R"({"error":{"code":-32601,"message":"Method not found: server\/discover"},"id":1,"jsonrpc":"2.0"})");

    server.send(R"({"jsonrpc":"2.0","id":2,"method":"initialize","params":{"protocolVersion":"2026-07-28",)"
                R"("capabilities":{},"clientInfo":{"name":"probe","version":"1"}}})"
                "\n");
    EXPECT_EQ(server.readLine(), R"({"id":2,"jsonrpc":"2.0","result":{"capabilities":{"tools":{}},)"
                                 R"("protocolVersion":"2024-11-05","serverInfo":)" +
                                     kServerInfo + "}}");

    server.send(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
                "\n");
    server.send(R"({"jsonrpc":"2.0","id":3,"method":"tools/list"})"
                "\n");
    auto tools = server.readLine();
    ASSERT_TRUE(tools);
    EXPECT_EQ(tools->rfind(R"({"id":3,"jsonrpc":"2.0","result":{"tools":[{"description":"List all)", 0), 0u);

    server.send(R"({"jsonrpc":"2.0","id":4,"method":"tools/call","params":{"name":"list_accounts","arguments":{}}})"
                "\n");
    EXPECT_EQ(server.readLine(), R"({"id":4,"jsonrpc":"2.0","result":{"content":[{"text":)"
                                 R"("{\"accounts\":[{\"email\":\"a@x.org\"}]}","type":"text"}]}})");

    PipedChild::Exit exit = server.wait();
    EXPECT_EQ(exit.status, 0);
    EXPECT_EQ(server.errorOutput(), kStarting + kExiting);
}

// Each request is served in the era its own _meta names, in one process, one
// line each.
TEST(McpProcess, ServesModernAndLegacyRequestsSideBySide) {
    StandInAgent agent({{okReply(R"({"accounts":[]})")}, {okReply(R"({"accounts":[]})")}});
    const std::string meta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                             R"("io.modelcontextprotocol/clientCapabilities":{}})";
    const std::string served = R"("_meta":{"io.modelcontextprotocol\/serverInfo":)" + kServerInfo + "}";
    const std::string input =
        R"({"jsonrpc":"2.0","id":1,"method":"server/discover","params":{)" + meta + "}}\n" +
        R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"list_accounts",)" + meta + "}}\n" +
        R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"list_accounts"}})"
        "\n" +
        R"({"id":4,"method":"ping","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"9"}}})"
        "\n";
    ProcessResult run = runServer(input, environment(agent.socketPath()));
    EXPECT_EQ(withoutInstructions(run.out),
              R"({"id":1,"jsonrpc":"2.0","result":{)" + served +
                  R"(,"cacheScope":"public","capabilities":{"tools":{}},"resultType":"complete",)"
                  R"("supportedVersions":["2026-07-28"],"ttlMs":3600000}})"
                  "\n" +
                  R"({"id":2,"jsonrpc":"2.0","result":{)" + served +
                  R"(,"content":[{"text":"{\"accounts\":[]}","type":"text"}],"resultType":"complete",)"
                  R"("structuredContent":{"accounts":[]}}})"
                  "\n" +
                  R"({"id":3,"jsonrpc":"2.0","result":{"content":[{"text":"{\"accounts\":[]}","type":"text"}]}})"
                  "\n" +
                  R"({"error":{"code":-32022,"data":{"requested":"9","supported":["2026-07-28"]},)"
                  R"("message":"Unsupported protocol version"},"id":4,"jsonrpc":"2.0"})"
                  "\n");
    EXPECT_EQ(run.err, kStarting + kExiting);
    EXPECT_EQ(run.status, 0);
}

TEST(McpProcess, KeepsServingUntilEndOfInputAfterTheClientClosesItsOutput) {
    StandInAgent agent({{okReply("{}")}});
    PipedChild server({QUILLBROOK_CLI_PATH, "mcp"}, environment(agent.socketPath()));
    server.closeOutput();
    const std::string call = R"({"id":1,"method":"tools/call","params":{"name":"list_folders"}})"
                             "\n";
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(server.send(ping("1") + call));
    }
    EXPECT_EQ(agent.waitForRequests(3), std::vector<std::string>(3, R"({"action":"list_folders"})"));
    PipedChild::Exit exit = server.wait();
    EXPECT_EQ(exit.status, 0);
    EXPECT_EQ(server.errorOutput(), kStarting + kExiting);
}

}  // namespace
