// quillbrook-cli against the development agent over the sample mailbox: real
// MIME from disk, through the agent and the client, to standard output.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "dev_agent_fixture.h"
#include "support/process.h"

namespace quillbrook::dev_agent_test {
namespace {

using nlohmann::json;
using test_support::ProcessResult;

class CliOverDevAgent : public testing::Test {
protected:
    CliOverDevAgent() {
        copySampleMail(home_.path() + "/mail");
        startAgent();
    }

    void startAgent() { agent_ = std::make_unique<AgentProcess>(home_.path()); }
    void restartAgent() {
        agent_.reset();
        startAgent();
    }

    ProcessResult cli(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), QUILLBROOK_CLI_PATH);
        return test_support::runProcess(args, {{"QUILLBROOK_SOCKET", agent_->socketPath()}, {"HOME", home_.path()}},
                                        input);
    }

    // The result of a command that must succeed.
    json ok(std::vector<std::string> args) {
        ProcessResult run = cli(std::move(args));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return json::parse(run.out);
    }

    std::string uidOf(const std::string& subject) {
        json listed = ok({"fetch", "--limit", "200"});
        for (const auto& email : listed["emails"]) {
            if (email["subject"] == subject) {
                return email["uid"];
            }
        }
        ADD_FAILURE() << "no message " << subject;
        return "";
    }

    TempDir home_;
    std::unique_ptr<AgentProcess> agent_;
};

TEST_F(CliOverDevAgent, AccountsAndFetchShowDecodedMail) {
    EXPECT_EQ(ok({"accounts", "current"})["email"], "ada@example.com");
    json accounts = ok({"accounts", "list"})["accounts"];
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[1]["name"], "Sam Okafor");

    json inbox = ok({"fetch", "--limit", "20"})["emails"];
    ASSERT_EQ(inbox.size(), 10u);
    std::vector<std::string> senders;
    for (const auto& email : inbox) {
        senders.push_back(email["fromName"]);
    }
    EXPECT_NE(std::find(senders.begin(), senders.end(), "François Lefèvre"), senders.end());
    EXPECT_NE(std::find(senders.begin(), senders.end(), "Zoë Petrović"), senders.end());
    EXPECT_EQ(ok({"fetch", "--limit", "5"})["emails"].size(), 5u);
    EXPECT_EQ(ok({"fetch", "--folder", "Archive"})["emails"].size(), 2u);
    EXPECT_EQ(ok({"fetch", "--account", "sam.okafor@example.org"})["emails"][0]["subject"], "Photos from Saturday 📷");
}

TEST_F(CliOverDevAgent, ReadShowsBodiesAndListsAttachments) {
    json invoice = ok({"read", uidOf("Invoice HS-2025-031 for the March workshop")});
    EXPECT_EQ(invoice["fromName"], "María González");
    EXPECT_NE(invoice["body"].get<std::string>().find("3–4 March"), std::string::npos);
    EXPECT_EQ(invoice["attachments"],
              json::parse(R"([{"contentType":"application/pdf","filename":"HS-2025-031.pdf","size":494}])"));

    json shipment = ok({"read", uidOf("Your shipment KL-48213 is on its way")});
    EXPECT_NE(shipment["body"].get<std::string>().find("Kestrel Logistics — Customer Care\n"), std::string::npos);
    EXPECT_NE(shipment["bodyHTML"].get<std::string>().find("<b>KL-48213</b>"), std::string::npos);
}

TEST_F(CliOverDevAgent, AgentErrorsReachTheUserAsOneLine) {
    ProcessResult unknown = cli({"read", "4711"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "not_found: no message with UID 4711 in INBOX of ada@example.com\n");
    ProcessResult badAddress = cli({"draft", "create", "--to", "nobody", "--subject", "s", "--body", "b"});
    EXPECT_EQ(badAddress.status, 1);
    EXPECT_EQ(badAddress.err.rfind("bad_request: \"to\":", 0), 0u) << badAddress.err;
    ProcessResult folder = cli({"fetch", "--folder", "Spam"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err.rfind("not_found: no folder \"Spam\"", 0), 0u) << folder.err;
}

TEST_F(CliOverDevAgent, LocalReplyDraftSurvivesAnAgentRestart) {
    json draft = ok({"draft", "reply", uidOf("Lunch on Thursday?"), "--body", "12:15 works for me."});
    std::string id = draft["id"];
    restartAgent();
    json listed = ok({"drafts", "list"})["drafts"];
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]["id"], id);
    json stored = ok({"drafts", "status", id});
    EXPECT_EQ(stored["subject"], "Re: Lunch on Thursday?");
    EXPECT_EQ(stored["to"], "jonas.berg@example.com");
    EXPECT_EQ(stored["inReplyTo"], "<lunch-thursday-77@example.com>");
    EXPECT_EQ(stored["body"].get<std::string>().rfind("12:15 works for me.\n\nOn 2025-03-14T12:01:00+01:00, Jonas Berg "
                                                      "<jonas.berg@example.com> wrote:\n> Ada, are you free",
                                                      0),
              0u)
        << stored["body"];
}

TEST_F(CliOverDevAgent, ServerReplyDraftLandsInDraftsWithThreadingHeaders) {
    json saved =
        ok({"draft", "reply", uidOf("Re: Draft budget for the Harbour project"), "--body", "Agreed.", "--server"});
    EXPECT_EQ(saved["target"], "server");
    std::vector<std::string> files = messageFilesIn(home_.path() + "/mail/ada/.Drafts/cur");
    ASSERT_EQ(files.size(), 1u);
    std::string message = readFile(files[0]);
    EXPECT_NE(message.find("\nIn-Reply-To: <budget-harbour-3@example.com>\n"), std::string::npos) << message;
    EXPECT_NE(message.find("\nReferences: <budget-harbour-1@example.com>"), std::string::npos) << message;
    EXPECT_NE(message.find("\nFrom: Ada Lindqvist <ada@example.com>\n"), std::string::npos) << message;
    EXPECT_NE(message.find("\nSubject: Re: Draft budget for the Harbour project\n"), std::string::npos) << message;
    restartAgent();
    json drafts = ok({"fetch", "--folder", "Drafts"})["emails"];
    ASSERT_EQ(drafts.size(), 1u);
    EXPECT_EQ(drafts[0]["uid"], saved["uid"]);
}

TEST_F(CliOverDevAgent, McpSessionListsToolsAndReadsAMessage) {
    std::string uid = uidOf("Réunion de lancement à Lyon");
    std::string input =
        R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{},"clientInfo":{"name":"test","version":"1"}}})"
        "\n"
        R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
        "\n"
        R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})"
        "\n"
        R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"read_email","arguments":{"account":"ada@example.com","email_id":")" +
        uid + R"("}}})" + "\n";
    ProcessResult run = cli({"mcp"}, input);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<json> answers;
    std::size_t start = 0;
    for (std::size_t end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
        answers.push_back(json::parse(run.out.substr(start, end - start)));
    }
    ASSERT_EQ(answers.size(), 3u) << run.out;
    EXPECT_EQ(answers[1]["result"]["tools"].size(), 7u);
    json message = json::parse(answers[2]["result"]["content"][0]["text"].get<std::string>());
    EXPECT_EQ(message["fromName"], "François Lefèvre");
    EXPECT_NE(message["body"].get<std::string>().find("près de la place Bellecour"), std::string::npos);
}

}  // namespace
}  // namespace quillbrook::dev_agent_test
