#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include "dev_agent_fixture.h"
#include "support/spawn.h"

// The built agent over its socket: raw request lines in, answer lines out.

namespace quillbrook::dev_agent_test {
namespace {

using nlohmann::json;

const std::string kListAccounts = "{\"action\":\"list_accounts\"}\n";

class AgentOverSocket : public testing::Test {
protected:
    AgentOverSocket() { copySampleMail(home_.path() + "/mail"); }

    json ask(const std::string& bytes) { return json::parse(roundTrip(agent_->socketPath(), bytes)); }

    void start(std::vector<std::string> extraArgs = {}) {
        agent_ = std::make_unique<AgentProcess>(home_.path(), std::move(extraArgs));
    }

    void expectStillServing() {
        json answer = ask(kListAccounts);
        EXPECT_EQ(answer["ok"], true) << answer;
        EXPECT_EQ(answer["result"]["accounts"][0]["email"], "ada@example.com");
    }

    TempDir home_;
    std::unique_ptr<AgentProcess> agent_;
};

using RawClient = test_support::UnixConnection;

struct BadLineCase {
    const char* name;
    std::string line;
    const char* code;
};

class BadLines : public AgentOverSocket, public testing::WithParamInterface<BadLineCase> {};

TEST_P(BadLines, GetTheDefinedErrorAndTheAgentKeepsServing) {
    start();
    json answer = ask(GetParam().line);
    EXPECT_EQ(answer["ok"], false);
    EXPECT_EQ(answer["code"], GetParam().code);
    EXPECT_TRUE(answer["error"].is_string() && !answer["error"].get<std::string>().empty());
    expectStillServing();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadLines,
    testing::Values(
        BadLineCase{"not_json", "hello agent\n", "bad_request"}, BadLineCase{"empty_line", "\n", "bad_request"},
        BadLineCase{"array", "[\"list_accounts\"]\n", "bad_request"},
        BadLineCase{"no_action", "{\"account\":\"ada@example.com\"}\n", "bad_request"},
        BadLineCase{"invalid_utf8", "{\"action\":\"list_\xFF\"}\n", "bad_request"},
        BadLineCase{"nul_byte", std::string("{\"action\":\"list_accounts\"}\0x\n", 29), "bad_request"},
        BadLineCase{"unknown_action", "{\"action\":\"send_email\",\"to\":\"x@y.z\"}\n", "unknown_action"},
        BadLineCase{"missing_param", "{\"action\":\"list_folders\"}\n", "bad_request"},
        BadLineCase{"wrong_type", "{\"action\":\"list_emails\",\"folder\":\"INBOX\",\"limit\":\"5\"}\n", "bad_request"},
        BadLineCase{"unknown_uid", "{\"action\":\"read_email\",\"uid\":\"4711\",\"folder\":\"INBOX\"}\n", "not_found"},
        BadLineCase{"oversized", "{\"action\":\"list_accounts\",\"pad\":\"" + std::string(2 << 20, 'x') + "\"}\n",
                    "request_too_large"}),
    [](const auto& info) { return info.param.name; });

TEST_F(AgentOverSocket, AnswersExactlyOneLineAndReadsEscapedSolidus) {
    start();
    std::string line = roundTrip(agent_->socketPath(),
                                 "{\"action\":\"list_emails\",\"folder\":\"INBOX\",\"limit\":2,\"x\":\"a\\/b\"}\r\n");
    json answer = json::parse(line);
    EXPECT_EQ(answer["ok"], true);
    EXPECT_EQ(answer["result"]["emails"].size(), 2u);
}

TEST_F(AgentOverSocket, ClientsThatLeaveEarlyDoNotDisturbTheAgent) {
    start();
    { RawClient silent(agent_->socketPath()); }
    {
        RawClient half(agent_->socketPath());
        half.send("{\"action\":\"list_");
    }
    expectStillServing();
    // A client that ends its side after an unterminated line has still asked.
    RawClient unterminated(agent_->socketPath());
    unterminated.send("{\"action\":\"list_accounts\"}");
    unterminated.endSending();
    EXPECT_EQ(json::parse(unterminated.readLine())["ok"], true);
}

TEST_F(AgentOverSocket, ASilentClientIsAnsweredWithATimeout) {
    start({"--request-timeout", "0.3"});
    RawClient silent(agent_->socketPath());
    expectStillServing();
    EXPECT_EQ(json::parse(silent.readLine())["code"], "timeout");
}

TEST_F(AgentOverSocket, RestartKeepsUidsAndLocalDrafts) {
    start();
    json before = ask("{\"action\":\"list_emails\",\"folder\":\"INBOX\"}\n")["result"]["emails"];
    json draft =
        ask("{\"action\":\"create_draft\",\"to\":\"jonas.berg@example.com\",\"subject\":\"Lunch\","
            "\"body\":\"Thursday works.\",\"in_reply_to\":\"" +
            before[0]["uid"].get<std::string>() + "\"}\n");
    ASSERT_EQ(draft["ok"], true) << draft;
    EXPECT_EQ(agent_->stop(), 0);
    EXPECT_NE(::access((home_.path() + "/agent.sock").c_str(), F_OK), 0) << "the socket file outlived the agent";

    start();
    EXPECT_EQ(ask("{\"action\":\"list_emails\",\"folder\":\"INBOX\"}\n")["result"]["emails"], before);
    json reread =
        ask("{\"action\":\"read_local_draft\",\"draft_id\":\"" + draft["result"]["id"].get<std::string>() + "\"}\n");
    EXPECT_EQ(reread["result"]["body"], "Thursday works.");
    EXPECT_EQ(reread["result"]["inReplyTo"], "<lunch-thursday-77@example.com>");
}

// An account mirrored as mbsync's Verbatim layout writes it: the root is no
// Maildir, every folder a directory. The agent serves it, says so, and saves
// a server draft where the sync tool picks it up.
TEST_F(AgentOverSocket, ServesATreeWithADirectoryPerFolder) {
    std::string tree = home_.path() + "/Mail";
    for (const char* folder : {"/INBOX/cur", "/Lists/Rust/new", "/Entw&APw-rfe/cur"}) {
        std::filesystem::create_directories(tree + folder);
    }
    std::filesystem::copy_file(home_.path() + "/mail/sam/new/1741551300.M115P4115.mail.example",
                               tree + "/Lists/Rust/new/1741551300.M115P4115.mail.example");
    start({"--account", "bo@example.org=" + tree});
    json folders = ask("{\"action\":\"list_folders\",\"account\":\"bo@example.org\"}\n")["result"]["folders"];
    std::vector<std::string> names;
    for (const auto& folder : folders) {
        names.push_back(folder["name"]);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"INBOX", "Entwürfe", "Lists/Rust"}));
    EXPECT_EQ(folders[2]["total"], 1);
    json draft =
        ask("{\"action\":\"create_draft\",\"account\":\"bo@example.org\",\"to\":\"sam@example.org\","
            "\"subject\":\"Hi\",\"body\":\"Hello.\",\"target\":\"server\"}\n");
    ASSERT_EQ(draft["ok"], true) << draft;
    EXPECT_EQ(draft["result"]["folder"], "Entwürfe");
    EXPECT_EQ(messageFilesIn(tree + "/Entw&APw-rfe/cur").size(), 1u);
    EXPECT_NE(agent_->log().find("bo@example.org: verbatim tree (found) at " + tree + ", INBOX at " + tree + "/INBOX"),
              std::string::npos)
        << agent_->log();
}

TEST_F(AgentOverSocket, SocketIsOnlyForItsUserAndSignalsRemoveIt) {
    std::string dir = home_.path() + "/private/run";
    std::string socket = dir + "/agent.sock";
    AgentProcess agent(home_.path(), {}, socket);
    struct stat info {};
    ASSERT_EQ(::stat(socket.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(agent.stop(), 0);
    EXPECT_NE(::access(socket.c_str(), F_OK), 0);
}

TEST_F(AgentOverSocket, RefusesToStartBesideALiveAgentButReplacesAStaleSocket) {
    start();
    StartResult second = runAgentToEnd({"--socket", agent_->socketPath(), "--state-dir", home_.path() + "/second",
                                        "--account", "ada@example.com=" + home_.path() + "/mail/ada"});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.log.find("already listening"), std::string::npos) << second.log;
    expectStillServing();

    // An agent killed outright leaves its socket file behind.
    agent_->stop();
    test_support::leaveStaleSocket(home_.path() + "/agent.sock");
    start();
    expectStillServing();
}

TEST_F(AgentOverSocket, TenSilentClientsDelayNobody) {
    start({"--request-timeout", "30"});
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 10; ++i) {
        silent.push_back(std::make_unique<RawClient>(agent_->socketPath()));
    }
    expectStillServing();
    // Answered while the silent ones still wait for their deadline; served
    // one at a time, it would come after their timeout answers.
    for (const auto& client : silent) {
        EXPECT_FALSE(client->readable());
    }
}

TEST_F(AgentOverSocket, FiftyClientsAtOnceEachGetTheirOwnAnswer) {
    start();
    json inbox = ask("{\"action\":\"list_emails\",\"limit\":10}\n")["result"]["emails"];
    ASSERT_EQ(inbox.size(), 10u);
    std::vector<std::string> answers(50);
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        clients.emplace_back([&, i] {
            std::string request =
                i % 2 == 0
                    ? "{\"action\":\"list_emails\",\"limit\":" + std::to_string(i % 10 + 1) + "}\n"
                    : "{\"action\":\"read_email\",\"uid\":\"" + inbox[i % 10]["uid"].get<std::string>() + "\"}\n";
            answers[i] = roundTrip(agent_->socketPath(), request);
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    for (std::size_t i = 0; i < answers.size(); ++i) {
        json result = json::parse(answers[i])["result"];
        if (i % 2 == 0) {
            EXPECT_EQ(result["emails"].size(), i % 10 + 1) << i;
        } else {
            EXPECT_EQ(result["uid"], inbox[i % 10]["uid"]) << i;
            EXPECT_EQ(result["subject"], inbox[i % 10]["subject"]) << i;
        }
    }
}

// Whether the paused loop also stays idle (no busy retrying of accept) is
// measured by bench/dev_agent_soak.cpp, where processor time belongs.
TEST_F(AgentOverSocket, RunningOutOfDescriptorsPausesAcceptingAndServesTheWaitingOnceSomeClose) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' run-time checks probe memory through a pipe, which
    // cannot be made once the agent's descriptors are used up.
    GTEST_SKIP() << "needs an agent built without sanitizers";
#endif
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 24;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    start({"--request-timeout", "30"});
    ::setrlimit(RLIMIT_NOFILE, &saved);

    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(std::make_unique<RawClient>(agent_->socketPath()));
    }
    ASSERT_NE(agent_->waitForLog("pausing new connections", std::chrono::seconds(20)), std::string::npos)
        << agent_->log();
    // Queued behind the silent ones, it is answered once they leave.
    RawClient waiting(agent_->socketPath());
    waiting.send(kListAccounts);
    silent.clear();
    EXPECT_EQ(json::parse(waiting.readLine())["ok"], true);
    EXPECT_NE(agent_->log().find("accepting connections again"), std::string::npos) << agent_->log();
    expectStillServing();
}

TEST_F(AgentOverSocket, ASecondAgentOnTheSameStateDirectoryRefusesToStart) {
    start();
    StartResult second =
        runAgentToEnd({"--socket", home_.path() + "/second.sock", "--state-dir", home_.path() + "/dev-agent-state",
                       "--account", "ada@example.com=" + home_.path() + "/mail/ada"});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.log.find("is using the state directory " + home_.path() + "/dev-agent-state"), std::string::npos)
        << second.log;
    EXPECT_NE(::access((home_.path() + "/second.sock").c_str(), F_OK), 0) << "the refused agent left its socket";
    expectStillServing();
}

// Agents started together on one socket and state directory: one has the
// directory and serves, the others end without touching its socket.
TEST_F(AgentOverSocket, OfAgentsStartedTogetherExactlyOneServes) {
    constexpr int kRounds = 20;
    constexpr std::size_t kAgents = 4;
    std::string socket = home_.path() + "/agent.sock";
    for (int round = 0; round < kRounds; ++round) {
        std::vector<pid_t> agents;
        for (std::size_t i = 0; i < kAgents; ++i) {
            agents.push_back(
                spawnAgent({"--socket", socket, "--account", "ada@example.com=" + home_.path() + "/mail/ada"},
                           home_.path() + "/agent" + std::to_string(i) + ".log"));
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto ended = [&] { return std::count_if(agents.begin(), agents.end(), hasEnded); };
        while (ended() < static_cast<long>(kAgents) - 1 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        while (!test_support::acceptsConnections(socket) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        bool serves = test_support::acceptsConnections(socket) &&
                      roundTrip(socket, kListAccounts).find("ada@example.com") != std::string::npos;
        std::vector<int> statuses;
        for (pid_t agent : agents) {
            ::kill(agent, SIGTERM);
            statuses.push_back(test_support::waitForExit(agent));
        }
        std::sort(statuses.begin(), statuses.end());
        ASSERT_TRUE(serves) << "round " << round;
        ASSERT_EQ(statuses, (std::vector<int>{0, 1, 1, 1})) << "round " << round;
        ASSERT_NE(::access(socket.c_str(), F_OK), 0) << "round " << round;
    }
}

TEST(AgentStart, RefusesBadConfigurationWithAClearMessage) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    std::string socket = home.path() + "/agent.sock";
    std::string ada = "ada@example.com=" + home.path() + "/mail/ada";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    std::string regularFile = home.path() + "/mail/ada/cur/1740989520.M101P4101.mail.example:2,S";
    for (const Case& c : std::vector<Case>{
             {{"--socket", socket}, 64, "no accounts: pass --account EMAIL=DIR[:NAME] or list them as [[account]] in"},
             {{"--socket", socket, "--account", "ada"}, 1, "EMAIL=DIR[:NAME]"},
             {{"--socket", socket, "--account", "ada@example.com=" + home.path() + "/mail/ada/cur"},
              1,
              "is not a Maildir tree"},
             {{"--socket", socket, "--account", "ada@example.com=" + home.path() + "/none"}, 1, "is not a directory"},
             {{"--socket", socket, "--account", ada, "--account", "ADA@example.com=" + home.path() + "/mail/sam"},
              1,
              "given twice"},
             {{"--socket", regularFile, "--account", ada}, 1, "is not a socket"},
             {{"--socket", home.path() + "/" + std::string(120, 's'), "--account", ada}, 1, "socket path"},
         }) {
        StartResult result = runAgentToEnd(c.args);
        EXPECT_EQ(result.status, c.status) << c.args[c.args.size() - 1];
        EXPECT_NE(result.log.find(c.message), std::string::npos) << result.log;
    }
}

}  // namespace
}  // namespace quillbrook::dev_agent_test
