#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include "dev_agent/config_file.h"
#include "dev_agent_fixture.h"
#include "support/files.h"
#include "support/process.h"
#include "util/files.h"

// The configuration file: refused whole when wrong, merged with the command
// line when right, and shown by --check-config; over the built agent.

namespace quillbrook::dev_agent_test {
namespace {

using nlohmann::json;

class ConfigFile : public testing::Test {
protected:
    ConfigFile() { copySampleMail(home_.path() + "/mail"); }

    const std::string& home() const { return home_.path(); }
    std::string configPath() const { return home() + "/config/quillbrook/dev-agent.toml"; }
    Environment environment() const { return {{"HOME", home()}, {"XDG_CONFIG_HOME", home() + "/config"}}; }

    void writeConfig(const std::string& text) const {
        makeDirectories(home() + "/config/quillbrook", 0700);
        writeFileAtomically(configPath(), text);
    }

    bool exists(const std::string& relative) const { return ::access((home() + "/" + relative).c_str(), F_OK) == 0; }

    TempDir home_;
};

struct WrongFile {
    const char* name;
    const char* text;
    const char* message;  // after "<file>:"
};

TEST_F(ConfigFile, AWrongFileIsRefusedWithItsLineAndStatus64BeforeAnythingIsCreated) {
    for (const WrongFile& c : std::vector<WrongFile>{
             {"syntax", "socket = \n", "1: Error while parsing key-value pair: expected value, saw '\\n'"},
             {"unknown_key", "sockett = \"/x\"\n", "1: unknown key \"sockett\""},
             {"unknown_account_key", "[[account]]\naddress = \"a@b.c\"\nlayuot = \"dotted\"\n",
              "3: unknown key \"layuot\" in [[account]]"},
             {"wrong_type", "[[account]]\naddress = \"a@b.c\"\nmaildir = 7\n",
              "3: \"maildir\" in [[account]] must be a string, not an integer"},
             {"wrong_type_flag", "[[account]]\naddress = \"a@b.c\"\ndefault = \"yes\"\n",
              "3: \"default\" in [[account]] must be true or false, not a string"},
             {"account_not_array", "[account]\naddress = \"a@b.c\"\n",
              "1: \"account\" must be an array of tables ([[account]]), not a table"},
             {"bad_layout", "[[account]]\naddress = \"a@b.c\"\nmaildir = \"/m\"\nlayout = \"mbox\"\n",
              "4: unknown layout \"mbox\" (auto, maildir++, verbatim or dotted)"},
             {"no_address", "request-timeout = 5\n\n[[account]]\nmaildir = \"/m\"\n",
              "3: [[account]] has no \"address\""},
             {"no_maildir", "[[account]]\naddress = \"a@b.c\"\n", "1: [[account]] a@b.c has no \"maildir\""},
             {"not_an_address", "[[account]]\naddress = \"ada\"\n", "2: \"ada\" is not an e-mail address"},
             {"relative_path", "[[account]]\naddress = \"a@b.c\"\nmaildir = \"Mail\"\n",
              "3: \"maildir\" in [[account]] must be an absolute path or start with ~/, not \"Mail\""},
             {"address_twice",
              "[[account]]\naddress = \"ada@example.com\"\nmaildir = \"/m\"\n\n"
              "[[account]]\naddress = \"ADA@example.com\"\nmaildir = \"/n\"\n",
              "6: the address ADA@example.com is given twice (first on line 2)"},
             {"two_defaults",
              "[[account]]\naddress = \"a@b.c\"\nmaildir = \"/m\"\ndefault = true\n"
              "[[account]]\naddress = \"d@b.c\"\nmaildir = \"/n\"\ndefault = true\n",
              "8: two default accounts: a@b.c (line 4) and d@b.c"},
             {"timeout_out_of_range", "request-timeout = 9223372036854775807\n",
              "1: \"request-timeout\" must be from 0.01 to 3600 seconds"},
         }) {
        writeConfig(c.text);
        StartResult result = runAgentToEnd({}, environment());
        EXPECT_EQ(result.status, 64) << c.name;
        EXPECT_EQ(result.log, "dev-agent: " + configPath() + ":" + c.message + "\n") << c.name;
        EXPECT_FALSE(exists(".quillbrook")) << c.name << ": it created its socket or state directory";
    }
}

TEST_F(ConfigFile, AMissingNamedFileAndNoAccountAtAllAreUsageErrors) {
    StartResult missing = runAgentToEnd({"--config", home() + "/nowhere.toml"}, environment());
    EXPECT_EQ(missing.status, 64);
    EXPECT_EQ(missing.log, "dev-agent: cannot open " + home() + "/nowhere.toml: No such file or directory\n");

    StartResult none = runAgentToEnd({}, environment());
    EXPECT_EQ(none.status, 64);
    EXPECT_EQ(none.log, "dev-agent: no accounts: pass --account EMAIL=DIR[:NAME] or list them as [[account]] in " +
                            configPath() + "\n");
    EXPECT_FALSE(exists(".quillbrook"));
}

TEST_F(ConfigFile, TheFileAndTheCommandLineServeAllAccountsWithTheFilesDefaultFirst) {
    writeConfig(
        "socket = \"~/run/agent.sock\"\n"
        "state-dir = \"~/file-state\"\n"
        "[[account]]\naddress = \"ada@example.com\"\nname = \"Ada Lindqvist\"\nmaildir = \"~/mail/ada/\"\n"
        "[[account]]\naddress = \"sam.okafor@example.org\"\nmaildir = \"" +
        home() + "/mail/sam\"\nlayout = \"maildir++\"\ndefault = true\n");
    AgentProcess agent({"--account", "bo@example.net=" + home() + "/mail/ada:Bo", "--state-dir", home() + "/cli-state"},
                       home() + "/run/agent.sock", home() + "/agent.log", environment());
    json accounts =
        json::parse(roundTrip(agent.socketPath(), "{\"action\":\"list_accounts\"}\n"))["result"]["accounts"];
    EXPECT_EQ(accounts, json::parse(R"([
        {"email": "sam.okafor@example.org", "name": "", "isDefault": true},
        {"email": "ada@example.com", "name": "Ada Lindqvist", "isDefault": false},
        {"email": "bo@example.net", "name": "Bo", "isDefault": false}])"));
    EXPECT_TRUE(exists("cli-state")) << "the command line's --state-dir did not win";
    EXPECT_FALSE(exists("file-state"));
}

TEST_F(ConfigFile, CheckConfigPrintsWhatItWouldServeAndTakesNothing) {
    writeConfig(
        "request-timeout = 2.5\n"
        "[[account]]\naddress = \"ada@example.com\"\nname = \"Ada Lindqvist\"\nmaildir = \"~/mail/ada\"\n"
        "drafts-folder = \"Archive\"\n"
        "[[account]]\naddress = \"sam.okafor@example.org\"\nmaildir = \"~/mail/sam\"\nlayout = \"dotted\"\n");
    test_support::ProcessResult result =
        test_support::runProcess({QUILLBROOK_DEV_AGENT_PATH, "--check-config"}, environment());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string& h = home();
    EXPECT_EQ(result.out, "configuration file: " + configPath() +
                              "\n"
                              "socket: " +
                              h + "/.quillbrook/agent.sock\ndrafts dir: " + h + "/.quillbrook/drafts\nstate dir: " + h +
                              "/.quillbrook/dev-agent-state\n"
                              "request timeout: 2.5 s\n"
                              "default account: ada@example.com\n"
                              "account ada@example.com\n  name: Ada Lindqvist\n  maildir: " +
                              h +
                              "/mail/ada\n  layout: maildir++ (found)\n  folders: INBOX, Archive, Drafts, Sent\n"
                              "  drafts folder: Archive\n"
                              "account sam.okafor@example.org\n  maildir: " +
                              h +
                              "/mail/sam\n  layout: dotted (named)\n  folders: INBOX\n"
                              "  drafts folder: Drafts (made with the first draft)\n");
    EXPECT_FALSE(exists(".quillbrook")) << "--check-config took the socket or the state directory";
}

TEST(ConfigExample, TheInstalledExampleReadsWithItsDefaultFirst) {
    std::string path = QUILLBROOK_EXAMPLE_CONFIG;
    dev_agent::AgentSettings settings = dev_agent::parseConfigFile(test_support::readFile(path), path);
    ASSERT_EQ(settings.accounts.size(), 2u);
    EXPECT_EQ(settings.accounts[0].email, "ada@work.example");
}

}  // namespace
}  // namespace quillbrook::dev_agent_test
