#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "dev_agent/maildir/maildir.h"
#include "dev_agent/maildir/modified_utf7.h"
#include "dev_agent/store/accounts.h"
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
    testing::Values(
        FileNameCase{"new_message", "1741.M1P2.host", "1741.M1P2.host", {}},
        FileNameCase{"no_flags", "1741.M1P2.host:2,", "1741.M1P2.host", {}},
        FileNameCase{
            "flags_in_canonical_order", "1741.M1P2.host:2,SRF", "1741.M1P2.host", {"flagged", "answered", "seen"}},
        FileNameCase{"all_flags", "x:2,DFPRST", "x", {"draft", "flagged", "passed", "answered", "seen", "trashed"}},
        FileNameCase{"keywords_ignored", "x:2,Sab", "x", {"seen"}},
        FileNameCase{"dot_file_skipped", ".gitkeep", nullptr, {}},
        FileNameCase{"not_utf8_kept", "17\xFF.host:2,S", "17\xFF.host", {"seen"}}),
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

struct FolderNameCase {
    const char* name;
    const char* stored;
    const char* shown;
};

std::ostream& operator<<(std::ostream& out, const FolderNameCase& c) { return out << c.name; }

class ModifiedUtf7 : public testing::TestWithParam<FolderNameCase> {};

TEST_P(ModifiedUtf7, DecodesStoredFolderNames) { EXPECT_EQ(decodeModifiedUtf7(GetParam().stored), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(Cases, ModifiedUtf7,
                         testing::Values(FolderNameCase{"plain_ascii", "Archive", "Archive"},
                                         FolderNameCase{"umlaut", "Entw&APw-rfe", "Entwürfe"},
                                         FolderNameCase{"escaped_ampersand", "Tom &- Jerry", "Tom & Jerry"},
                                         FolderNameCase{"cjk_run", "&ZeVnLIqe-", "日本語"},
                                         FolderNameCase{"comma_for_slash", "&A,8-", "\u03FF"},
                                         FolderNameCase{"two_runs", "&AOk-t&AOk-", "été"},
                                         FolderNameCase{"raw_utf8_left_alone", "Entwürfe", "Entwürfe"},
                                         FolderNameCase{"unterminated_run_left_alone", "A&B", "A&B"},
                                         FolderNameCase{"slash_in_run_left_alone", "&A/8-", "&A/8-"},
                                         FolderNameCase{"invalid_run_left_alone", "&!!-", "&!!-"}),
                         [](const auto& info) { return info.param.name; });

TEST(MaildirFolders, ShowsModifiedUtf7NamesDecodedAndFindsEitherSpelling) {
    TempDir dir;
    for (const char* sub : {"/cur", "/.Entw&APw-rfe/cur", "/.Lists.&ZeVnLIqe-/cur"}) {
        fs::create_directories(dir.path() + sub);
    }
    std::vector<std::string> names;
    for (const auto& folder : discoverMaildirFolders(dir.path())) {
        names.push_back(folder.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"INBOX", "Entwürfe", "Lists/日本語"}));
    for (const char* spelling : {"Entwürfe", "Entw&APw-rfe", "entwürfe", "ENTW&APW-RFE"}) {
        auto found = findMaildirFolder(dir.path(), spelling);
        ASSERT_TRUE(found) << spelling;
        EXPECT_EQ(found->name, "Entwürfe");
        EXPECT_EQ(found->path, dir.path() + "/.Entw&APw-rfe");
    }
    EXPECT_EQ(findMaildirFolder(dir.path(), "Lists/&ZeVnLIqe-")->name, "Lists/日本語");
}

TEST(MaildirDeliveryTime, ComesFromTheUniqueNameElseTheFileTime) {
    TempDir dir;
    std::string path = dir.path() + "/message";
    std::ofstream(path) << "Subject: x\n\n";
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);

    EXPECT_EQ(deliveryTimeOf({"1740989520.M101P4101.host", path, {}}), 1740989520);
    for (const char* withoutTime : {"notime.host", "123abc.host", "-5.host", "1740989520", "99999999999999999999.h"}) {
        std::optional<std::int64_t> time = deliveryTimeOf({withoutTime, path, {}});
        ASSERT_TRUE(time) << withoutTime;
        EXPECT_EQ(*time, info.st_mtime) << withoutTime;
    }
    EXPECT_FALSE(deliveryTimeOf({"notime.host", dir.path() + "/gone", {}}));
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
    EXPECT_EQ(messageFileNames(folder + "/new"), (std::vector<std::string>{first, second}));
}

// The lister the index runs: what it offers as a message file of cur/ or new/.
TEST(MaildirListing, OffersFilesAndLinksButNotDirectoriesOrHiddenNames) {
    TempDir dir;
    std::string cur = dir.path() + "/cur";
    fs::create_directories(cur + "/1700000009.M9P1.host");
    std::ofstream(cur + "/1700000001.M1P1.host:2,S") << "Subject: a\n\n";
    std::ofstream(cur + "/.1700000002.M2P1.host") << "Subject: hidden\n\n";
    fs::create_symlink(cur + "/1700000001.M1P1.host:2,S", cur + "/1700000003.M3P1.host");

    EXPECT_EQ(messageFileNames(cur), (std::vector<std::string>{"1700000001.M1P1.host:2,S", "1700000003.M3P1.host"}));
    EXPECT_TRUE(messageFileNames(dir.path() + "/new").empty()) << "a missing directory is empty";
    EXPECT_THROW(messageFileNames(cur + "/1700000001.M1P1.host:2,S"), std::system_error) << "one that cannot be listed";
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
