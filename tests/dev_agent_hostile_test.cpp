#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "dev_agent_fixture.h"
#include "support/repeated.h"
#include "util/io.h"
#include "util/unix_socket.h"

// What a careless or hostile neighbour can put into a mailbox, around the
// agent's directories or onto its socket, and what the agent must still do:
// answer, in bounded time and memory, and stop when asked.

namespace quillbrook::dev_agent_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;
using test_support::repeated;

// One exchange that gives up after `limit`: a hang is a failure, never a hung test.
std::string askWithin(const std::string& socketPath, const std::string& request, std::chrono::milliseconds limit) {
    UniqueFd fd = connectUnixSocket(socketPath);
    if (!fd.valid()) {
        return "<cannot connect>";
    }
    timeval timeout{static_cast<time_t>(limit.count() / 1000), static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (!sendAll(fd.get(), request)) {
        return "<cannot send>";
    }
    std::string line;
    char buffer[65536];
    for (;;) {
        ssize_t got = readSome(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            return "<no answer within " + std::to_string(limit.count()) + " ms>";
        }
        line.append(buffer, static_cast<std::size_t>(got));
        if (auto end = line.find('\n'); end != std::string::npos || got == 0) {
            return line.substr(0, end);
        }
    }
}

json askJson(const std::string& socketPath, const std::string& request) {
    std::string line = askWithin(socketPath, request, 5s);
    json answer = json::parse(line, nullptr, false);
    return answer.is_discarded() ? json{{"unreadable", line}} : answer;
}

const std::string kListInbox = R"({"action":"list_emails","account":"ada@example.com","limit":200})"
                               "\n";

// An entry in INBOX's cur/ that is no message file; `scratch` is a directory
// of the test's own to put link targets in.
struct HostileEntry {
    const char* name;
    std::function<void(const std::string& path, const std::string& scratch)> make;
    bool opened;  // false: plainly no file, left out when the directory is listed
};

class HostileMaildirEntry : public testing::TestWithParam<HostileEntry> {};

TEST_P(HostileMaildirEntry, IsSkippedWithoutHoldingUpRequestsOrTheStop) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    std::string cur = home.path() + "/mail/ada/cur";
    std::size_t messages = filesIn(cur).size() + filesIn(home.path() + "/mail/ada/new").size();
    fs::create_directories(home.path() + "/scratch");
    GetParam().make(cur + "/1800000000.M1P1.hostile:2,S", home.path() + "/scratch");

    AgentProcess agent(home.path());
    // No ASSERT before the stop below: an agent that hangs must still be stopped.
    for (int request = 0; request < 3; ++request) {
        json listed = askJson(agent.socketPath(), kListInbox);
        EXPECT_EQ(listed["ok"], true) << listed;
        EXPECT_EQ(listed["result"]["total"], messages);
    }
    json accounts = askJson(agent.socketPath(), "{\"action\":\"list_accounts\"}\n");
    EXPECT_EQ(accounts["ok"], true) << accounts;
    EXPECT_TRUE(agent.stopsWhenAsked()) << "SIGTERM did not stop the agent";
    std::string log = agent.log();
    if (GetParam().opened) {
        std::string note = "1800000000.M1P1.hostile:2,S is not a regular file";
        auto first = log.find(note);
        EXPECT_NE(first, std::string::npos) << log;
        EXPECT_EQ(log.find(note, first + 1), std::string::npos) << "logged more than once:\n" << log;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileMaildirEntry,
    testing::Values(
        HostileEntry{"fifo",
                     [](const std::string& path, const std::string& scratch) {
                         ASSERT_EQ(::mkfifo((scratch + "/fifo").c_str(), 0600), 0);
                         fs::create_symlink(scratch + "/fifo", path);
                     },
                     true},
        HostileEntry{"fifo_itself",
                     [](const std::string& path, const std::string&) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
                     false},
        HostileEntry{"endless_device",
                     [](const std::string& path, const std::string&) { fs::create_symlink("/dev/zero", path); }, true},
        HostileEntry{"directory", [](const std::string& path, const std::string&) { fs::create_directory(path); },
                     false},
        HostileEntry{
            "dangling_link",
            [](const std::string& path, const std::string& scratch) { fs::create_symlink(scratch + "/missing", path); },
            false}),
    [](const testing::TestParamInfo<HostileEntry>& info) { return std::string(info.param.name); });

// Messages too large to show whole: what is read stays within a budget and
// every answer within the 1 MiB a client accepts, cut at a character boundary
// with a note saying so.
struct LargeMessageCase {
    const char* name;
    std::function<std::string()> message;
};

class LargeMessage : public testing::TestWithParam<LargeMessageCase> {};

std::string header(const std::string& subject, const std::string& contentType) {
    return "From: Big Sender <big@example.com>\nTo: ada@example.com\nSubject: " + subject +
           "\nDate: Mon, 7 Dec 2026 10:00:00 +0000\nMIME-Version: 1.0\nContent-Type: " + contentType + "\n\n";
}

// `count` lines of `line` (which holds no line feed).
std::string lines(const std::string& line, std::size_t count) {
    std::string text;
    text.reserve((line.size() + 1) * count);
    for (std::size_t i = 0; i < count; ++i) {
        text.append(line).push_back('\n');
    }
    return text;
}

TEST_P(LargeMessage, IsShownCutWithinTheAnswerLimit) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    std::ofstream(home.path() + "/mail/ada/cur/1800000000.M1P1.large:2,S", std::ios::binary) << GetParam().message();
    AgentProcess agent(home.path());
    json listed = askJson(agent.socketPath(), kListInbox);
    ASSERT_EQ(listed["ok"], true) << listed;
    std::string uid;
    for (const auto& email : listed["result"]["emails"]) {
        if (email["subject"] == GetParam().name) {
            uid = email["uid"];
        }
    }
    ASSERT_FALSE(uid.empty()) << "not listed";
    std::string line = askWithin(agent.socketPath(), R"({"action":"read_email","uid":")" + uid + "\"}\n", 30s);
    EXPECT_LE(line.size(), 1024u * 1024u);
    json answer = json::parse(line, nullptr, false);
    ASSERT_EQ(answer["ok"], true) << line.substr(0, 200);
    std::string body = answer["result"]["body"];
    const std::string note = "\n\n[The message is too large to show whole; the rest is cut.]\n";
    ASSERT_GE(body.size(), note.size());
    EXPECT_EQ(body.substr(body.size() - note.size()), note);
    EXPECT_EQ(answer["result"]["subject"], GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LargeMessage,
    testing::Values(LargeMessageCase{"long_body",
                                     [] {
                                         // 2 MiB of text, two-byte characters, so a cut in the middle of one shows.
                                         return header("long_body", "text/plain; charset=utf-8") +
                                                lines("Gr\xC3\xBC\xC3\x9F" + std::string(58, 'e'), 33000);
                                     }},
                    LargeMessageCase{"beyond_the_read_budget",
                                     [] {
                                         return header("beyond_the_read_budget", "text/plain") +
                                                lines(std::string(99, 'x'), 360000);
                                     }},
                    LargeMessageCase{"hundred_thousand_parts",
                                     [] {
                                         std::string message =
                                             header("hundred_thousand_parts", "multipart/mixed; boundary=b");
                                         message += "--b\nContent-Type: text/plain\n\nThe first part.\n";
                                         for (int part = 0; part < 100000; ++part) {
                                             message +=
                                                 "--b\nContent-Type: application/octet-stream\n"
                                                 "Content-Disposition: attachment; filename=p.bin\n\nxx\n";
                                         }
                                         return message + "--b--\n";
                                     }}),
    [](const testing::TestParamInfo<LargeMessageCase>& info) { return std::string(info.param.name); });

// One crafted mail that took the agent down (stack overflow) or stalled it for
// minutes at every listing and read: it arrives while the agent runs, is listed
// and read within the usual time, and a restart indexes it again.
struct CraftedMailCase {
    const char* name;
    std::function<std::string()> message;
};

class CraftedMail : public testing::TestWithParam<CraftedMailCase> {};

TEST_P(CraftedMail, IsListedAndReadAndSurvivesARestart) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    std::size_t messages =
        filesIn(home.path() + "/mail/ada/cur").size() + filesIn(home.path() + "/mail/ada/new").size();
    std::string uid;
    {
        AgentProcess agent(home.path());
        ASSERT_EQ(askJson(agent.socketPath(), kListInbox)["ok"], true);
        // Delivered whole, as a delivery agent does: a file written in place
        // could be indexed half-written.
        std::ofstream(home.path() + "/crafted", std::ios::binary) << GetParam().message();
        std::filesystem::rename(home.path() + "/crafted", home.path() + "/mail/ada/new/1800000000.M1P1.crafted");
        json listed = askJson(agent.socketPath(), kListInbox);
        ASSERT_EQ(listed["ok"], true) << listed.dump().substr(0, 300);
        EXPECT_EQ(listed["result"]["total"], messages + 1);
        for (const auto& email : listed["result"]["emails"]) {
            if (email["from"] == "crafted@example.com") {
                uid = email["uid"];
            }
        }
        ASSERT_FALSE(uid.empty()) << "not listed";
        json read = askJson(agent.socketPath(), R"({"action":"read_email","uid":")" + uid + "\"}\n");
        EXPECT_EQ(read["ok"], true) << read.dump().substr(0, 300);
        EXPECT_TRUE(agent.stopsWhenAsked());
    }
    AgentProcess restarted(home.path());
    json listed = askJson(restarted.socketPath(), kListInbox);
    ASSERT_EQ(listed["ok"], true) << listed.dump().substr(0, 300) << restarted.log();
    EXPECT_EQ(listed["result"]["total"], messages + 1);
}

std::string craftedMail(const std::string& fields, const std::string& contentType, const std::string& body) {
    return "From: crafted@example.com\n" + fields +
           "Date: Mon, 7 Dec 2026 10:00:00 +0000\nContent-Type: " + contentType + "\n\n" + body;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CraftedMail,
    testing::Values(CraftedMailCase{"nested_address_groups",
                                    [] {
                                        return craftedMail("To: " + repeated("g:", 60000) + "a@b.c" +
                                                               std::string(60000, ';') + "\nSubject: groups\n",
                                                           "text/plain", "hi\n");
                                    }},
                    CraftedMailCase{
                        "html_of_ampersands",
                        [] { return craftedMail("Subject: ampersands\n", "text/html", std::string(1600000, '&')); }},
                    CraftedMailCase{"unclosed_encoded_words",
                                    [] {
                                        return craftedMail("Subject: " + repeated("=?utf-8?q?a? ", 20000) + "\n",
                                                           "text/plain", "hi\n");
                                    }}),
    [](const testing::TestParamInfo<CraftedMailCase>& info) { return std::string(info.param.name); });

TEST(MaildirNames, AMessageWhoseFileNameIsNotUtf8IsListedAndRead) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    std::ofstream(home.path() + "/mail/ada/cur/1800000000.M1P1.h\xFF\xFE:2,S")
        << "From: x@example.com\nSubject: Odd name\nDate: Mon, 7 Dec 2026 10:00:00 +0000\n\nStill mail.\n";
    AgentProcess agent(home.path());
    json listed = askJson(agent.socketPath(), kListInbox);
    ASSERT_EQ(listed["ok"], true) << listed;
    std::string uid;
    for (const auto& email : listed["result"]["emails"]) {
        if (email["subject"] == "Odd name") {
            uid = email["uid"];
            EXPECT_EQ(email["flags"], json::array({"seen"}));
        }
    }
    ASSERT_FALSE(uid.empty()) << listed;
    json read = askJson(agent.socketPath(), R"({"action":"read_email","uid":")" + uid + "\"}\n");
    EXPECT_EQ(read["result"]["body"], "Still mail.\n") << read;
}

TEST(IndexingOrder, ARequestGoesAheadOfTheBackgroundIndexing) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    std::string bulk = home.path() + "/mail/ada/.Bulk";
    for (const char* sub : {"/cur", "/new", "/tmp"}) {
        fs::create_directories(bulk + sub);
    }
    // Links to one file: a new file costs the file system far more than a name.
    std::ofstream(home.path() + "/bulk-message") << "From: list@example.com\nSubject: Bulk\n\nbody\n";
    for (int i = 0; i < 30000; ++i) {
        fs::create_hard_link(home.path() + "/bulk-message",
                             bulk + "/cur/17000" + std::to_string(10000 + i) + ".M1P1.bulk:2,S");
    }
    AgentProcess agent(home.path());
    ASSERT_NE(agent.waitForLog("indexing Bulk of ada@example.com: 30000 new messages", 60s), std::string::npos)
        << agent.log();
    json listed = askJson(agent.socketPath(), R"({"action":"list_emails","account":"sam.okafor@example.org"})"
                                              "\n");
    ASSERT_EQ(listed["ok"], true) << listed;
    std::size_t answered = agent.waitForLog("\"list_emails\" -> ok", 5s);
    ASSERT_NE(answered, std::string::npos) << agent.log();
    // Indexing resumed after the request reports only what was left; waiting
    // for the request, it would have reported all 30000 first.
    EXPECT_EQ(agent.log().find("indexed Bulk of ada@example.com: 30000 messages"), std::string::npos)
        << "the request waited for the whole folder:\n"
        << agent.log();
}

// Clients that connect and say nothing (a client stuck in a retry loop) cost
// the agent a descriptor each, not a worker: others are answered at once.
TEST(ConnectionFlood, IdleConnectionsDelayNobody) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    AgentProcess agent(home.path(), {"--request-timeout", "30"});
    std::vector<UniqueFd> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(connectUnixSocket(agent.socketPath()));
        ASSERT_TRUE(idle.back().valid()) << i;
    }
    for (int round = 0; round < 3; ++round) {
        json accounts = askJson(agent.socketPath(), "{\"action\":\"list_accounts\"}\n");
        EXPECT_EQ(accounts["ok"], true) << accounts;
    }
    idle.clear();
    EXPECT_TRUE(agent.stopsWhenAsked());
}

// Twenty clients at once, each with a request near the 1 MiB bound: every one
// is answered, and the agent serves on. Whether it gives the memory back
// afterwards is measured by bench/dev_agent_soak.cpp.
TEST(LargeRequests, ABurstOfThemIsAnsweredAndTheAgentServesOn) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    AgentProcess agent(home.path());
    const std::string request = nearlyLargestRequest();
    for (const std::string& answer : atOnce(20, [&] { return askWithin(agent.socketPath(), request, 30s); })) {
        json parsed = json::parse(answer, nullptr, false);
        EXPECT_TRUE(parsed.is_object() && parsed.value("ok", false)) << answer.substr(0, 200);
    }
    EXPECT_EQ(askJson(agent.socketPath(), kListInbox)["ok"], true);
}

// A shared place (such as /tmp) where someone else prepared the agent's
// directories or its lock: the agent refuses to start and says which
// directory and why, and follows no link.
struct SharedPlaceCase {
    const char* name;
    const char* message;
    // Prepares `run` (a directory of the test's own) and names the socket there.
    std::function<void(const std::string& run)> prepare;
};

class SharedPlace : public testing::TestWithParam<SharedPlaceCase> {};

void makeDirectory(const std::string& path, mode_t mode) {
    fs::create_directories(path);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

TEST_P(SharedPlace, IsRefusedAndNothingOfTheUsersIsTouched) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    std::string victim = home.path() + "/victim";
    std::ofstream(victim) << "precious\n";
    std::string run = home.path() + "/run";
    GetParam().prepare(run);
    StartResult result =
        runAgentToEnd({"--socket", run + "/agent.sock", "--account", "ada@example.com=" + home.path() + "/mail/ada"});
    EXPECT_EQ(result.status, 1) << result.log;
    EXPECT_NE(result.log.find(GetParam().message), std::string::npos) << result.log;
    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_NE(::access((run + "/agent.sock").c_str(), F_OK), 0) << "the refused agent left its socket";
}

INSTANTIATE_TEST_SUITE_P(Cases, SharedPlace,
                         testing::Values(SharedPlaceCase{"socket_directory_open_to_all",
                                                         "as the socket's directory: it may be written by other users",
                                                         [](const std::string& run) { makeDirectory(run, 01777); }},
                                         SharedPlaceCase{"state_directory_made_by_someone",
                                                         "as the state directory: it may be written by other users",
                                                         [](const std::string& run) {
                                                             makeDirectory(run, 0700);
                                                             makeDirectory(run + "/dev-agent-state", 0777);
                                                         }},
                                         SharedPlaceCase{"drafts_directory_made_by_someone",
                                                         "as the drafts directory: it may be written by other users",
                                                         [](const std::string& run) {
                                                             makeDirectory(run, 0700);
                                                             makeDirectory(run + "/drafts", 0777);
                                                         }},
                                         SharedPlaceCase{"lock_is_a_link", "agent.lock (a symbolic link; remove it)",
                                                         [](const std::string& run) {
                                                             makeDirectory(run + "/dev-agent-state", 0700);
                                                             ::chmod(run.c_str(), 0700);
                                                             fs::create_symlink(fs::path(run).parent_path() / "victim",
                                                                                run + "/dev-agent-state/agent.lock");
                                                         }}),
                         [](const testing::TestParamInfo<SharedPlaceCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(PrivateState, TheIndexAndItsJournalFilesAreForTheUserAlone) {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    AgentProcess agent(home.path());
    ASSERT_EQ(askJson(agent.socketPath(), kListInbox)["ok"], true);
    for (const char* file : {"index.sqlite", "index.sqlite-wal", "index.sqlite-shm"}) {
        struct stat info {};
        ASSERT_EQ(::stat((home.path() + "/dev-agent-state/" + file).c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
}

}  // namespace
}  // namespace quillbrook::dev_agent_test
