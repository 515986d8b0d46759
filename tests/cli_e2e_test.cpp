// Runs the built quillbrook-cli against a scripted stand-in agent and checks the
// requests the agent saw, both output streams byte for byte and the exit status.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/expected_messages.h"
#include "support/process.h"
#include "support/stand_in_agent.h"
#include "util/version.h"

namespace {

using quillbrook::test_support::errorReply;
using quillbrook::test_support::kBadResponse;
using quillbrook::test_support::kCannotSerialize;
using quillbrook::test_support::kResponseTooLarge;
using quillbrook::test_support::okReply;
using quillbrook::test_support::ProcessResult;
using quillbrook::test_support::runProcess;
using quillbrook::test_support::StandInAgent;

const std::string kConnectFailed = quillbrook::test_support::kConnectFailed + "\n";
const std::string kConnectionLost = quillbrook::test_support::kConnectionLost + "\n";

struct CliRun {
    ProcessResult process;
    std::vector<std::string> requests;
};

CliRun runCli(const std::vector<std::string>& args, std::vector<StandInAgent::Reply> script,
              std::size_t expectedRequests = 0) {
    StandInAgent agent(std::move(script));
    std::vector<std::string> argv = {QUILLBROOK_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    CliRun run{runProcess(argv, {{"QUILLBROOK_SOCKET", agent.socketPath()}, {"HOME", "/nonexistent"}}), {}};
    run.requests = expectedRequests > 0 ? agent.waitForRequests(expectedRequests) : agent.requests();
    return run;
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> replies;
    std::vector<std::string> requests;
    std::string out;
    std::string err;
    int status;
};

void check(const Case& c) {
    std::vector<StandInAgent::Reply> script;
    for (const auto& reply : c.replies) {
        script.push_back({reply});
    }
    CliRun run = runCli(c.args, script, c.requests.size());
    EXPECT_EQ(run.requests, c.requests) << c.name;
    EXPECT_EQ(run.process.out, c.out) << c.name;
    EXPECT_EQ(run.process.err, c.err) << c.name;
    EXPECT_EQ(run.process.status, c.status) << c.name;
}

const std::string kAccounts =
    okReply(R"({"accounts":[{"name":"Ada","email":"ada@example.com"},{"email":"bo@example.com"}]})");

TEST(CliRequests, EachCommandSendsExactlyItsRequest) {
    const Case cases[] = {
        {"accounts list",
         {"accounts", "list"},
         {kAccounts},
         {R"({"action":"list_accounts"})"},
         "{\n  \"accounts\": [\n    {\n      \"email\": \"ada@example.com\",\n      \"name\": \"Ada\"\n    },\n"
         "    {\n      \"email\": \"bo@example.com\"\n    }\n  ]\n}\n",
         "",
         0},
        {"fetch defaults",
         {"fetch"},
         {okReply("{}")},
         {R"({"action":"list_emails","folder":"INBOX","limit":50})"},
         "{}\n",
         "",
         0},
        {"fetch with options",
         {"fetch", "--folder", "Archive", "--limit", "0", "--account", ""},
         {okReply("{}")},
         {R"({"account":"","action":"list_emails","folder":"Archive","limit":0})"},
         "{}\n",
         "",
         0},
        {"fetch empty folder and negative limit",
         {"fetch", "--folder", "", "--limit", "-3"},
         {okReply("{}")},
         {R"({"action":"list_emails","folder":"INBOX","limit":-3})"},
         "{}\n",
         "",
         0},
        {"empty values after an equals sign",
         {"fetch", "--folder=", "--account=", "--limit=-2"},
         {okReply("{}")},
         {R"({"account":"","action":"list_emails","folder":"INBOX","limit":-2})"},
         "{}\n",
         "",
         0},
        {"uid after a double dash",
         {"read", "--", "--folder="},
         {okReply("{}")},
         {R"({"action":"read_email","folder":"INBOX","uid":"--folder="})"},
         "{}\n",
         "",
         0},
        {"read",
         {"read", "42"},
         {okReply("{}")},
         {R"({"action":"read_email","folder":"INBOX","uid":"42"})"},
         "{}\n",
         "",
         0},
        {"read with options",
         {"read", "--folder", "Sent/2026", "007", "--account", "a@x"},
         {okReply("{}")},
         {R"({"account":"a@x","action":"read_email","folder":"Sent\/2026","uid":"007"})"},
         "{}\n",
         "",
         0},
        {"read a uid that names a command",
         {"read", "drafts"},
         {okReply("{}")},
         {R"({"action":"read_email","folder":"INBOX","uid":"drafts"})"},
         "{}\n",
         "",
         0},
        {"draft create",
         {"draft", "create", "--to", "a@x, b@y", "--subject", "", "--body", "one\ntwo"},
         {okReply(R"({"id":"d1"})")},
         {R"({"action":"create_draft","body":"one\ntwo","subject":"","target":"local","to":"a@x, b@y"})"},
         "{\n  \"id\": \"d1\"\n}\n",
         "",
         0},
        {"draft create on the server",
         {"draft", "create", "--server", "--to", "t", "--subject", "s", "--body", "b", "--account", "me@x"},
         {okReply("{}")},
         {R"({"account":"me@x","action":"create_draft","body":"b","subject":"s","target":"server","to":"t"})"},
         "{}\n",
         "",
         0},
        {"drafts list",
         {"drafts", "list"},
         {okReply(R"({"drafts":[]})")},
         {R"({"action":"list_local_drafts"})"},
         "{\n  \"drafts\": []\n}\n",
         "",
         0},
        {"numbers printed as the agent wrote them",
         {"drafts", "list"},
         {okReply(R"({"n":[99999999999999999999,-9223372036854775809,2.50]})")},
         {R"({"action":"list_local_drafts"})"},
         "{\n  \"n\": [\n    99999999999999999999,\n    -9223372036854775809,\n    2.5\n  ]\n}\n",
         "",
         0},
        {"drafts status",
         {"drafts", "status", "not-a-uuid"},
         {okReply("{}")},
         {R"({"action":"read_local_draft","draft_id":"not-a-uuid"})"},
         "{}\n",
         "",
         0},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(CliReply, ReadsTheOriginalThenCreatesTheThreadedDraft) {
    const std::string original = okReply(
        R"({"from":"ada@example.com","fromName":"Ada L","subject":"Plans","date":"Tue, 3 Nov 2026","body":"Line 1\nLine 2\n","to":"me@x"})");
    const Case cases[] = {
        {"local reply",
         {"draft", "reply", "7", "--body", "Sounds good."},
         {original, okReply(R"({"id":"r1"})")},
         {R"({"action":"read_email","folder":"INBOX","uid":"7"})",
          R"({"action":"create_draft","body":"Sounds good.\n\nOn Tue, 3 Nov 2026, Ada L <ada@example.com> wrote:\n> Line 1\n> Line 2\n> ","in_reply_to":"7","subject":"Re: Plans","target":"local","to":"ada@example.com"})"},
         "{\n  \"id\": \"r1\"\n}\n",
         "",
         0},
        {"server reply with overrides",
         {"draft", "reply", "7", "--body", "", "--server", "--to", "", "--subject", "", "--folder", "", "--account",
          "a"},
         {okReply(R"({"subject":"RE: x","body":5})"), okReply("{}")},
         {R"({"account":"a","action":"read_email","folder":"INBOX","uid":"7"})",
          R"({"account":"a","action":"create_draft","body":"\n\nOn ,  wrote:\n> ","in_reply_to":"7","references":["7"],"subject":"","target":"server","to":""})"},
         "{}\n",
         "",
         0},
        {"failed read creates nothing",
         {"draft", "reply", "9", "--body", "x"},
         {errorReply("not_found", "no uid 9")},
         {R"({"action":"read_email","folder":"INBOX","uid":"9"})"},
         "",
         "not_found: no uid 9\n",
         1},
        {"failed create",
         {"draft", "reply", "9", "--body", "x"},
         {original, ""},
         {R"({"action":"read_email","folder":"INBOX","uid":"9"})",
          R"({"action":"create_draft","body":"x\n\nOn Tue, 3 Nov 2026, Ada L <ada@example.com> wrote:\n> Line 1\n)"
          R"(> Line 2\n> ","in_reply_to":"9","subject":"Re: Plans","target":"local","to":"ada@example.com"})"},
         "",
         kConnectionLost,
         3},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(CliAccounts, CurrentIsTheFirstListedAccount) {
    const Case cases[] = {
        {"two accounts",
         {"accounts", "current"},
         {kAccounts},
         {R"({"action":"list_accounts"})"},
         "{\n  \"email\": \"ada@example.com\",\n  \"name\": \"Ada\"\n}\n",
         "",
         0},
        {"empty list",
         {"accounts", "current"},
         {okReply(R"({"accounts":[]})")},
         {R"({"action":"list_accounts"})"},
         "",
         "No accounts configured\n",
         1},
        {"no key",
         {"accounts", "current"},
         {okReply(R"({"other":1})")},
         {R"({"action":"list_accounts"})"},
         "",
         "No accounts configured\n",
         1},
        {"not all objects",
         {"accounts", "current"},
         {okReply(R"({"accounts":[{"a":1},"x"]})")},
         {R"({"action":"list_accounts"})"},
         "",
         "No accounts configured\n",
         1},
        {"a single object",
         {"accounts", "current"},
         {okReply(R"({"accounts":{"a":1}})")},
         {R"({"action":"list_accounts"})"},
         "",
         "No accounts configured\n",
         1},
        {"empty list is fine for list",
         {"accounts", "list"},
         {okReply(R"({"accounts":[]})")},
         {R"({"action":"list_accounts"})"},
         "{\n  \"accounts\": []\n}\n",
         "",
         0},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(CliFailures, EachFailureIsOneLineAndItsStatus) {
    const std::string request = R"({"action":"list_local_drafts"})";
    const Case cases[] = {
        {"error answer", {"drafts", "list"}, {errorReply("busy", "try later")}, {request}, "", "busy: try later\n", 1},
        {"error answer without code",
         {"drafts", "list"},
         {"{\"ok\":false}\n"},
         {request},
         "",
         "error: request failed\n",
         1},
        {"closed without answer", {"drafts", "list"}, {""}, {request}, "", kConnectionLost, 3},
        {"answer without line feed", {"drafts", "list"}, {R"({"ok":true})"}, {request}, "", kConnectionLost, 3},
        {"not JSON", {"drafts", "list"}, {"<html>\n"}, {request}, "", kBadResponse + "\n", 1},
        {"number beyond the double range",
         {"drafts", "list"},
         {okReply(R"({"n":1.7976931348623157e309})")},
         {request},
         "",
         kBadResponse + "\n",
         1},
        {"invalid UTF-8",
         {"drafts", "list"},
         {"{\"ok\":true,\"result\":{\"a\":\"\xc3\x28\"}}\n"},
         {request},
         "",
         kBadResponse + "\n",
         1},
        {"too large", {"drafts", "list"}, {std::string(1 << 21, ' ')}, {request}, "", kResponseTooLarge + "\n", 1},
        {"two lines at once",
         {"drafts", "list"},
         {okReply(R"({"n":1})") + okReply(R"({"n":2})")},
         {request},
         "{\n  \"n\": 1\n}\n",
         "",
         0},
        {"argument that is not UTF-8", {"read", "\xff"}, {okReply("{}")}, {"<eof>"}, "", kCannotSerialize + "\n", 1},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(CliFailures, NoAgentListening) {
    ProcessResult result = runProcess({QUILLBROOK_CLI_PATH, "accounts", "list"},
                                      {{"QUILLBROOK_SOCKET", "/nonexistent/agent.sock"}, {"HOME", "/nonexistent"}});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, kConnectFailed);
    EXPECT_EQ(result.status, 2);
}

TEST(CliFailures, OutputThatCannotBeWrittenIsNotASuccess) {
    StandInAgent agent({{okReply(R"({"accounts":[]})")}});
    ProcessResult result = runProcess({"/bin/sh", "-c", std::string(QUILLBROOK_CLI_PATH) + " accounts list >/dev/full"},
                                      {{"QUILLBROOK_SOCKET", agent.socketPath()}, {"HOME", "/nonexistent"}});
    EXPECT_EQ(result.err.rfind("unexpected error: cannot write to standard output: ", 0), 0u) << result.err;
    EXPECT_EQ(result.status, 1);
}

TEST(CliFailures, HelpAndVersionThatCannotBeWrittenAreNotASuccess) {
    const std::vector<std::string> commands = {"--help", "--version", "accounts", "fetch --help", "draft reply -h"};
    for (const std::string& command : commands) {
        ProcessResult result =
            runProcess({"/bin/sh", "-c", std::string(QUILLBROOK_CLI_PATH) + " " + command + " >/dev/full"},
                       {{"HOME", "/nonexistent"}});
        EXPECT_EQ(result.err.rfind("unexpected error: cannot write to standard output: ", 0), 0u)
            << command << ": " << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << command << ": " << result.err;
        EXPECT_EQ(result.status, 1) << command;
    }
}

TEST(CliParser, UsageErrorsNeverReachTheAgent) {
    // Each error's first line, as CLI11 words it; the usage lines follow.
    const std::pair<std::vector<std::string>, std::string> usageErrors[] = {
        {{"send"}, "Error: The following argument was not expected: send"},
        {{"fetch", "--limit", "ten"}, "Error: --limit: not an integer: ten"},
        {{"fetch", "--limit", "1.5"}, "Error: --limit: not an integer: 1.5"},
        {{"fetch", "--limit", "99999999999999999999"}, "Error: --limit: not an integer: 99999999999999999999"},
        {{"fetch", "--folder"}, "Error: --folder: 1 required <folder> missing"},
        {{"read"}, "Error: message-id is required"},
        {{"read", "1", "2"}, "Error: The following argument was not expected: 2"},
        {{"accounts", "list", "extra"}, "Error: The following argument was not expected: extra"},
        {{"accounts", "current", "--account", "x"}, "Error: The following arguments were not expected: x --account"},
        {{"draft", "create", "--to", "a", "--subject", "s"}, "Error: --body is required"},
        {{"draft", "reply", "7"}, "Error: --body is required"},
        {{"draft", "create", "--to", "a", "--subject", "s", "--body", "b", "--folder", "x"},
         "Error: The following arguments were not expected: x --folder"},
        {{"drafts", "delete"}, "Error: draft-id is required"},
        {{"drafts", "status"}, "Error: draft-id is required"},
        {{"mcp", "--verbose"}, "Error: The following argument was not expected: --verbose"},
        {{"fetch", "read", "4"}, "Error: The following arguments were not expected: 4 read"},
    };
    for (const auto& [args, firstLine] : usageErrors) {
        CliRun run = runCli(args, {{okReply("{}")}});
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_EQ(run.process.status, 64) << joined;
        EXPECT_EQ(run.process.out, "") << joined;
        EXPECT_EQ(run.process.err.substr(0, run.process.err.find('\n')), firstLine) << joined;
        EXPECT_TRUE(run.requests.empty()) << joined;
    }
}

TEST(CliParser, HelpAndVersionPrintOnStandardOutput) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"fetch", "--version"}, {"draft", "reply", "--version"}}) {
        CliRun run = runCli(args, {});
        EXPECT_EQ(run.process.out, std::string(quillbrook::kVersion) + "\n");
        EXPECT_EQ(run.process.status, 0);
    }
    const std::pair<std::vector<std::string>, std::string> helps[] = {
        {{}, "Quillbrook CLI \u2014 thin client over the Quillbrook agent socket"},
        {{"--help"}, "Start MCP (Model Context Protocol) server \u2014 thin shim over agent.sock"},
        {{"accounts"}, "Show the current/default account"},
        {{"draft"}, "Create a new draft (local by default; --server for server drafts)"},
        {{"drafts"}, "(Removed) Deleting drafts is not available from the CLI by design"},
        {{"fetch", "-h"}, "Maximum number of messages to fetch"},
        {{"draft", "reply", "--help"}, "Save threaded reply to server Drafts (default local)"},
    };
    for (const auto& [args, text] : helps) {
        CliRun run = runCli(args, {});
        EXPECT_NE(run.process.out.find(text), std::string::npos) << text << "\n" << run.process.out;
        EXPECT_EQ(run.process.err, "");
        EXPECT_EQ(run.process.status, 0);
        EXPECT_EQ(run.requests.size(), 0u);
    }
}

TEST(CliParser, UsageLinesShowPositionalsAsPlaceholders) {
    const std::pair<std::vector<std::string>, std::string> usages[] = {
        {{"read", "--help"}, "Usage: quillbrook-cli read [OPTIONS] <message-id>\n"},
        {{"draft", "reply", "--help"}, "Usage: quillbrook-cli draft reply [OPTIONS] <message-id>\n"},
        {{"drafts", "status", "--help"}, "Usage: quillbrook-cli drafts status [OPTIONS] <draft-id>\n"},
        {{"drafts", "delete", "--help"}, "Usage: quillbrook-cli drafts delete [OPTIONS] <draft-id>\n"},
    };
    for (const auto& [args, usage] : usages) {
        CliRun run = runCli(args, {});
        EXPECT_NE(run.process.out.find(usage), std::string::npos) << run.process.out;
        // The positional's own help row keeps CLI11's plain name.
        EXPECT_EQ(run.process.out.find("Positionals:\n  <"), std::string::npos) << run.process.out;
    }
    CliRun missing = runCli({"read"}, {});
    EXPECT_EQ(missing.process.err,
              "Error: message-id is required\nUsage: quillbrook-cli read [OPTIONS] <message-id>\n"
              "See 'quillbrook-cli read --help' for more information.\n");
}

TEST(CliDraftsDelete, RefusesWithoutContactingTheAgent) {
    CliRun run = runCli({"drafts", "delete", "d1"}, {{okReply("{}")}});
    EXPECT_EQ(run.process.out, "");
    EXPECT_EQ(run.process.err,
              "Deleting drafts is not available from the CLI by design \u2014 Quillbrook never deletes. Remove drafts "
              "in the Quillbrook app or your main mail client.\n");
    EXPECT_EQ(run.process.status, 1);
    EXPECT_TRUE(run.requests.empty());
}

TEST(CliOutput, ResultsArePrettySortedWithEscapedSolidusAndRawUnicode) {
    CliRun run =
        runCli({"accounts", "list"}, {{okReply(R"({"z":{"b":2,"a":"x/y"},"é":"\u00e9\u2014","n":[1.5,1e2]})")}});
    EXPECT_EQ(run.process.out,
              "{\n  \"n\": [\n    1.5,\n    100.0\n  ],\n  \"z\": {\n    \"a\": \"x\\/y\",\n    \"b\": 2\n  },\n"
              "  \"é\": \"é—\"\n}\n");
}

}  // namespace
