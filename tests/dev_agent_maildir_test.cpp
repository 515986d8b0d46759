#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

#include "dev_agent/accounts.h"
#include "dev_agent/maildir.h"
#include "dev_agent_fixture.h"

namespace quillbrook::dev_agent {
namespace {

using dev_agent_test::filesIn;
using dev_agent_test::TempDir;
namespace fs = std::filesystem;

struct FileNameCase {
    const char* name;
    const char* fileName;
    const char* uniqueName;  // nullptr: skipped
    std::vector<std::string> flags;
};

class MaildirFileName : public testing::TestWithParam<FileNameCase> {};

TEST_P(MaildirFileName, SplitsUniqueNameAndFlags) {
    const auto& c = GetParam();
    auto entry = parseMaildirFileName(c.fileName);
    if (c.uniqueName == nullptr) {
        EXPECT_FALSE(entry);
        return;
    }
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->uniqueName, c.uniqueName);
    EXPECT_EQ(entry->flags, c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaildirFileName,
    testing::Values(FileNameCase{"new_message", "1741.M1P2.host", "1741.M1P2.host", {}},
                    FileNameCase{"no_flags", "1741.M1P2.host:2,", "1741.M1P2.host", {}},
                    FileNameCase{"flags_in_canonical_order", "1741.M1P2.host:2,SRF", "1741.M1P2.host",
                                 {"flagged", "answered", "seen"}},
                    FileNameCase{"all_flags", "x:2,DFPRST", "x",
                                 {"draft", "flagged", "passed", "answered", "seen", "trashed"}},
                    FileNameCase{"keywords_ignored", "x:2,Sab", "x", {"seen"}},
                    FileNameCase{"dot_file_skipped", ".gitkeep", nullptr, {}},
                    FileNameCase{"not_utf8_skipped", "17\xFF.host", nullptr, {}}),
    [](const auto& info) { return info.param.name; });

TEST(MaildirFolders, InboxFirstThenSubfoldersByNameWithHierarchy) {
    TempDir dir;
    for (const char* sub : {"/cur", "/.Sent/cur", "/.Archive/new", "/.Lists.Rust/cur", "/.NotAFolder", "/plain/cur"}) {
        fs::create_directories(dir.path() + sub);
    }
    std::vector<std::string> names;
    for (const auto& folder : discoverMaildirFolders(dir.path())) {
        names.push_back(folder.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"INBOX", "Archive", "Lists/Rust", "Sent"}));

    EXPECT_EQ(findMaildirFolder(dir.path(), "inbox")->path, dir.path());
    EXPECT_EQ(findMaildirFolder(dir.path(), "archive")->name, "Archive");
    EXPECT_EQ(findMaildirFolder(dir.path(), "Lists/Rust")->path, dir.path() + "/.Lists.Rust");
    for (const char* outside : {"..", "../x", "NotAFolder", "/etc", ""}) {
        EXPECT_FALSE(findMaildirFolder(dir.path(), outside)) << outside;
    }
}

TEST(MaildirDelivery, WritesIntoNewAndLeavesTmpEmpty) {
    TempDir dir;
    std::string folder = dir.path() + "/.Drafts";
    std::string first = deliverToMaildir(folder, "Subject: one\n\nbody\n");
    std::string second = deliverToMaildir(folder, "Subject: two\n\nbody\n");
    EXPECT_NE(first, second);
    EXPECT_LT(first, second) << "names must sort in delivery order";
    EXPECT_TRUE(filesIn(folder + "/tmp").empty());
    EXPECT_EQ(dev_agent_test::readFile(folder + "/new/" + first), "Subject: one\n\nbody\n");
    EXPECT_EQ(listMaildirMessages(folder).size(), 2u);
}

TEST(AccountSpec, ReadsEmailDirectoryAndOptionalName) {
    Account plain = parseAccountOption("ada@example.com=/mail/ada/");
    EXPECT_EQ(plain.email, "ada@example.com");
    EXPECT_EQ(plain.root, "/mail/ada");
    EXPECT_EQ(plain.name, "");
    Account named = parseAccountOption("ada@example.com=/mail/ada:Ada Lindqvist: Work");
    EXPECT_EQ(named.root, "/mail/ada");
    EXPECT_EQ(named.name, "Ada Lindqvist: Work");
    for (const char* bad : {"ada@example.com", "=/mail", "ada=/mail", "ada@example.com=", "@x=/m", "ada@=/m"}) {
        EXPECT_THROW(parseAccountOption(bad), std::invalid_argument) << bad;
    }
}

}  // namespace
}  // namespace quillbrook::dev_agent
