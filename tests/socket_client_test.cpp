#include "transport/agent_socket_client.h"

#include <dirent.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/expected_messages.h"
#include "support/files.h"
#include "support/stand_in_agent.h"
#include "support/unix_connection.h"
#include "transport/response_rules.h"
#include "transport/socket_error.h"

namespace {

using namespace quillbrook;
using test_support::StandInAgent;
using Reply = StandInAgent::Reply;

CLISocketError server(const std::string& code, const std::string& message) {
    return CLISocketError::server(code, message);
}

// The outcome of one send: the result as compact JSON, or the failure's text.
std::string outcome(const AgentSocketClient& client, const std::string& action,
                    json::Value params = json::Value::object()) {
    try {
        return json::writeCompactSorted(client.send(action, std::move(params)).root());
    } catch (const CLISocketError& error) {
        return "error: " + error.stderrMessage();
    }
}

std::string outcomeOfReply(const std::string& reply) {
    StandInAgent agent({{reply}});
    return outcome(AgentSocketClient(agent.socketPath()), "list_accounts");
}

const std::string kConnectionLost = "error: " + test_support::kConnectionLost;
const std::string kConnectFailed = "error: " + test_support::kConnectFailed;

TEST(CandidatePaths, EnvironmentVariableAloneWhenSetAndNotEmpty) {
    EXPECT_EQ(AgentSocketClient::candidatePaths({{"QUILLBROOK_SOCKET", "~/x.sock"}, {"HOME", "/h"}}),
              std::vector<std::string>{"~/x.sock"});
    const std::vector<std::string> defaults = {
        "/h/.quillbrook/agent.sock", "/h/Library/Containers/com.quillbrook.Quillbrook/Data/.quillbrook/agent.sock"};
    EXPECT_EQ(AgentSocketClient::candidatePaths({{"QUILLBROOK_SOCKET", ""}, {"HOME", "/h"}}), defaults);
    EXPECT_EQ(AgentSocketClient::candidatePaths({{"HOME", "/h"}}), defaults);
    EXPECT_EQ(AgentSocketClient::candidatePaths({{"HOME", "/h/"}}), defaults);
}

TEST(FolderDefault, AppliesToListAndReadOnly) {
    struct Case {
        const char* action;
        json::Value params;
        json::Value expected;
    } cases[] = {
        {"list_emails", json::Value::object(), {{"folder", "INBOX"}}},
        {"read_email", {{"folder", ""}}, {{"folder", "INBOX"}}},
        {"read_email", {{"folder", 7}}, {{"folder", "INBOX"}}},
        {"list_emails", {{"folder", nullptr}}, {{"folder", "INBOX"}}},
        {"list_emails", {{"folder", "Archive"}}, {{"folder", "Archive"}}},
        {"list_emails", {{"folder", " "}}, {{"folder", " "}}},
        {"list_folders", json::Value::object(), json::Value::object()},
        {"create_draft", {{"folder", ""}}, {{"folder", ""}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MCPToolMapping::withFolderDefault(c.action, c.params), c.expected)
            << c.action << json::writeCompactSorted(c.params).value_or("");
    }
}

TEST(ResponseRules, SuccessYieldsTheResultObjectOrAnEmptyOne) {
    struct Case {
        const char* line;
        const char* result;
    } cases[] = {
        {R"({"ok":true,"result":{"b":1,"a":[]}})", R"({"a":[],"b":1})"},
        {R"({"ok":true})", "{}"},
        {R"({"ok":true,"result":[1]})", "{}"},
        {R"({"ok":true,"result":null})", "{}"},
        {R"({"result":{"x":1},"ok":true,"extra":2})", R"({"x":1})"},
        {"{\"ok\":true}\r", "{}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(json::writeCompactSorted(MCPToolMapping::parseResponse(c.line).root()), c.result) << c.line;
    }
}

TEST(ResponseRules, FailuresCarryCodeAndMessageOrTheirDefaults) {
    struct Case {
        std::string line;
        CLISocketError error;
    } cases[] = {
        {R"({"ok":false,"code":"not_found","error":"no such uid"})", server("not_found", "no such uid")},
        {R"({"ok":false})", server("error", "request failed")},
        {R"({"code":"x","error":"y"})", server("x", "y")},
        {R"({"ok":"true","result":{}})", server("error", "request failed")},
        {R"({"ok":1})", server("error", "request failed")},
        {R"({"ok":false,"code":42,"message":"text"})", server("error", "request failed")},
        {"", server("bad_response", "unparseable server response")},
        {"hello", server("bad_response", "unparseable server response")},
        {"[]", server("bad_response", "unparseable server response")},
        {"{\"ok\":true,\"result\":{\"s\":\"\xff\"}}", server("bad_response", "unparseable server response")},
    };
    for (const auto& c : cases) {
        try {
            MCPToolMapping::parseResponse(c.line);
            ADD_FAILURE() << "no error for " << c.line;
        } catch (const CLISocketError& error) {
            EXPECT_EQ(error, c.error) << c.line << " gave " << error.stderrMessage();
        }
    }
}

TEST(SocketErrorText, IsTheExactLineUsersSee) {
    EXPECT_EQ(CLISocketError::connectFailed().stderrMessage(), test_support::kConnectFailed);
    EXPECT_EQ(CLISocketError::connectionLost().stderrMessage(), test_support::kConnectionLost);
    EXPECT_EQ(server("c", "m").stderrMessage(), "c: m");
    EXPECT_EQ(server("c", "m").exitStatus(), ExitStatus::failure);
    EXPECT_EQ(CLISocketError::connectFailed().exitStatus(), ExitStatus::agentUnreachable);
    EXPECT_EQ(CLISocketError::connectionLost().exitStatus(), ExitStatus::connectionLost);
}

TEST(SocketExchange, RequestIsOneFlatLineWithTheAction) {
    StandInAgent agent({{test_support::okReply("{}")}});
    AgentSocketClient client(agent.socketPath());
    client.send("list_accounts", json::Value::object());
    client.send("list_emails", json::Value::object());
    client.send("read_email", {{"action", "create_draft"}, {"uid", "42"}, {"path", "a/b"}});
    EXPECT_EQ(agent.requests(), (std::vector<std::string>{
                                    R"({"action":"list_accounts"})",
                                    R"({"action":"list_emails","folder":"INBOX"})",
                                    R"({"action":"read_email","folder":"INBOX","path":"a\/b","uid":"42"})",
                                }));
}

TEST(SocketExchange, OnlyTheFirstLineOfTheAnswerCounts) {
    EXPECT_EQ(outcomeOfReply("{\"ok\":true,\"result\":{\"n\":1}}\n{\"ok\":false}\n"), R"({"n":1})");
    EXPECT_EQ(outcomeOfReply("{\"ok\":true,\"result\":{\"n\":1}}\ngarbage"), R"({"n":1})");
}

TEST(SocketExchange, AnAnswerWithoutLineFeedIsALostConnection) {
    EXPECT_EQ(outcomeOfReply(R"({"ok":true,"result":{}})"), kConnectionLost);
    EXPECT_EQ(outcomeOfReply(""), kConnectionLost);
}

TEST(SocketExchange, FramingLimitIsOneMebibyteWithoutLineFeed) {
    const std::size_t limit = 1'048'576;
    EXPECT_EQ(outcomeOfReply(std::string(limit, 'x')), kConnectionLost);
    EXPECT_EQ(outcomeOfReply(std::string(limit + 1, 'x')), "error: " + test_support::kResponseTooLarge);
    std::string head = R"({"ok":true,"result":{"pad":")";
    std::string tail = "\"}}";
    std::string pad(limit - head.size() - tail.size(), 'p');
    std::string line = head + pad + tail;
    ASSERT_EQ(line.size(), limit);
    EXPECT_EQ(outcomeOfReply(line + "\n"), "{\"pad\":\"" + pad + "\"}");
}

TEST(SocketExchange, UnserializableRequestSendsNothing) {
    StandInAgent agent({{test_support::okReply("{}")}});
    EXPECT_EQ(outcome(AgentSocketClient(agent.socketPath()), "create_draft", {{"body", "\xff"}}),
              "error: " + test_support::kCannotSerialize);
    EXPECT_EQ(agent.waitForRequests(1), std::vector<std::string>{"<eof>"});
}

TEST(SocketExchange, AgentThatHangsUpOnABigRequestIsALostConnection) {
    StandInAgent agent({{"", false}});
    std::string body(8 << 20, 'b');
    EXPECT_EQ(outcome(AgentSocketClient(agent.socketPath()), "create_draft", {{"body", body}}), kConnectionLost);
}

TEST(SocketExchange, NoDescriptorOutlivesItsExchange) {
    auto openDescriptors = [] {
        int count = 0;
        DIR* dir = opendir("/dev/fd");
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
        return count;
    };
    StandInAgent agent({{test_support::okReply("{}")}, {"{", true}, {""}});
    AgentSocketClient client(agent.socketPath());
    int before = openDescriptors();
    for (int i = 0; i < 50; ++i) {
        outcome(client, "list_accounts");
    }
    outcome(AgentSocketClient("/nonexistent/agent.sock"), "list_accounts");
    EXPECT_EQ(openDescriptors(), before);
}

class SocketLocation : public ::testing::Test {
protected:
    std::string defaultPath() const { return home_.path() + "/.quillbrook/agent.sock"; }
    std::string containerPath() const {
        return home_.path() + "/Library/Containers/com.quillbrook.Quillbrook/Data/.quillbrook/agent.sock";
    }
    static void makeParents(const std::string& path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    }
    std::string sendWithHome() const {
        setenv("HOME", home_.path().c_str(), 1);
        unsetenv("QUILLBROOK_SOCKET");
        return outcome(AgentSocketClient(), "list_accounts");
    }

    test_support::TempDir home_;
};

TEST_F(SocketLocation, HomeSocketIsPreferredOverTheContainerOne) {
    makeParents(defaultPath());
    makeParents(containerPath());
    StandInAgent home({{test_support::okReply(R"({"at":"home"})")}}, defaultPath());
    StandInAgent container({{test_support::okReply(R"({"at":"container"})")}}, containerPath());
    EXPECT_EQ(sendWithHome(), R"({"at":"home"})");
}

TEST_F(SocketLocation, RefusedHomeSocketFallsThroughToTheContainer) {
    makeParents(defaultPath());
    makeParents(containerPath());
    test_support::leaveStaleSocket(defaultPath());
    StandInAgent container({{test_support::okReply(R"({"at":"container"})")}}, containerPath());
    EXPECT_EQ(sendWithHome(), R"({"at":"container"})");
}

TEST_F(SocketLocation, NothingListeningMeansConnectFailed) { EXPECT_EQ(sendWithHome(), kConnectFailed); }

TEST_F(SocketLocation, PathsLongerThan103BytesAreNeverTried) {
    std::string exact = home_.path() + "/" + std::string(103 - home_.path().size() - 1, 's');
    ASSERT_EQ(exact.size(), 103u);
    StandInAgent agent({{test_support::okReply("{}")}}, exact);
    EXPECT_EQ(outcome(AgentSocketClient(exact), "list_accounts"), "{}");
    EXPECT_EQ(outcome(AgentSocketClient(exact + "x"), "list_accounts"), kConnectFailed);
}

}  // namespace
