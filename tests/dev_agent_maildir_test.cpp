#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "dev_agent/maildir/drafts_folder.h"
#include "dev_agent/maildir/folder_tree.h"
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
        FileNameCase{"not_utf8_kept", "17\xFF.host:2,S", "17\xFF.host", {"seen"}},
        FileNameCase{"mbsync_uid_is_no_part", "1741.M1P2.host,U=17:2,DS", "1741.M1P2.host", {"draft", "seen"}},
        FileNameCase{"offlineimap_uid_and_folder_hash_are_no_part",
                     "1741_0.2.host,U=17,FMD5=7e3c2a9f0b1d4e5f6a7b8c9d0e1f2a3b:2,S",
                     "1741_0.2.host",
                     {"seen"}},
        FileNameCase{"other_fields_stay", "1741.M1P2.host,S=1234,W=1260,U=5:2,", "1741.M1P2.host,S=1234,W=1260", {}},
        FileNameCase{"uid_field_that_is_no_number_stays", "1741.host,U=x1,FMD5=zz", "1741.host,U=x1,FMD5=zz", {}}),
    [](const auto& info) { return info.param.name; });

// A tree in each layout, told from the disk or named: its folders, each as
// "server name=path below the root".
struct LayoutCase {
    const char* name;
    std::vector<std::string> directories;  // made below the root
    MaildirLayout configured;
    std::optional<MaildirLayout> detected;  // nothing: no mail tree
    std::vector<std::string> folders;
};

std::ostream& operator<<(std::ostream& out, const LayoutCase& c) { return out << c.name; }

class TreeLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(TreeLayout, ListsTheFoldersUnderTheServersNames) {
    const LayoutCase& c = GetParam();
    TempDir dir;
    for (const auto& sub : c.directories) {
        fs::create_directories(dir.path() + "/" + sub);
    }
    EXPECT_EQ(detectMaildirLayout(dir.path()), c.detected);
    std::vector<std::string> folders;
    for (const auto& folder : discoverMaildirFolders({dir.path(), c.configured})) {
        folders.push_back(folder.name + "=" + folder.path.substr(dir.path().size()));
    }
    EXPECT_EQ(folders, c.folders);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TreeLayout,
    testing::Values(
        LayoutCase{
            "maildir_plus_plus",
            {"cur", ".Sent/cur", ".Archive/new", ".Lists.Rust/cur", ".Entw&APw-rfe/cur", ".NotAFolder", "plain"},
            MaildirLayout::detect,
            MaildirLayout::maildirPlusPlus,
            {"INBOX=", "Archive=/.Archive", "Entwürfe=/.Entw&APw-rfe", "Lists/Rust=/.Lists.Rust", "Sent=/.Sent"}},
        LayoutCase{"maildir_plus_plus_inbox_alone",
                   {"new"},
                   MaildirLayout::detect,
                   MaildirLayout::maildirPlusPlus,
                   {"INBOX="}},
        LayoutCase{"verbatim_with_inbox_folder",
                   {"INBOX/cur", "INBOX/Sub/cur", "Archive/cur", "Lists/Rust/cur", "[Gmail]/Sent Mail/cur",
                    "Entw&APw-rfe/cur", ".notmuch/xapian", "Lists/Rust/cur/deep/cur"},
                   MaildirLayout::detect,
                   MaildirLayout::verbatim,
                   {"INBOX=/INBOX", "Archive=/Archive", "Entwürfe=/Entw&APw-rfe", "INBOX/Sub=/INBOX/Sub",
                    "Lists/Rust=/Lists/Rust", "[Gmail]/Sent Mail=/[Gmail]/Sent Mail"}},
        LayoutCase{"verbatim_with_inbox_spelt_otherwise",
                   {"Inbox/cur", "Archive/Old/cur"},
                   MaildirLayout::detect,
                   MaildirLayout::verbatim,
                   {"INBOX=/Inbox", "Archive/Old=/Archive/Old"}},
        LayoutCase{"verbatim_with_root_inbox",
                   {"cur", "new", "tmp", "Archive/cur", "Lists/Rust/cur"},
                   MaildirLayout::detect,
                   MaildirLayout::verbatim,
                   {"INBOX=", "Archive=/Archive", "Lists/Rust=/Lists/Rust"}},
        LayoutCase{"dotted",
                   {"INBOX/cur", "Archive/cur", "Lists.Rust/cur", "Entw&APw-rfe/cur", "[Gmail].Drafts/cur"},
                   MaildirLayout::detect,
                   MaildirLayout::dotted,
                   {"INBOX=/INBOX", "Archive=/Archive", "Entwürfe=/Entw&APw-rfe", "Lists/Rust=/Lists.Rust",
                    "[Gmail]/Drafts=/[Gmail].Drafts"}},
        LayoutCase{"configured_layout_wins",
                   {"INBOX/cur", "Lists.Rust/cur"},
                   MaildirLayout::verbatim,
                   MaildirLayout::dotted,
                   {"INBOX=/INBOX", "Lists.Rust=/Lists.Rust"}},
        LayoutCase{"no_mail_tree", {"Documents/notes", "cur.d"}, MaildirLayout::detect, std::nullopt, {"INBOX="}}),
    [](const auto& info) { return info.param.name; });

// Folder names given by a request: either spelling, any ASCII case, and never
// a way out of the tree, also not through a link.
TEST(MaildirFolders, AreFoundByEitherSpellingAndNeverOutsideTheTree) {
    TempDir outside;
    fs::create_directories(outside.path() + "/Stolen/cur");
    TempDir dir;
    for (const char* sub : {"INBOX/cur", "Entw&APw-rfe/cur", "Lists/Rust/cur", "Archive/cur"}) {
        fs::create_directories(dir.path() + "/" + sub);
    }
    fs::create_directory_symlink(outside.path() + "/Stolen", dir.path() + "/Stolen");
    fs::create_directory_symlink(dir.path() + "/Archive", dir.path() + "/Lists/Alias");
    fs::create_directory_symlink(dir.path(), dir.path() + "/Lists/Loop");
    std::string deep = dir.path();
    for (int level = 0; level <= kMaxFolderDepth; ++level) {
        deep += "/d";
    }
    fs::create_directories(deep + "/cur");
    MaildirTree tree{dir.path(), MaildirLayout::detect};

    for (const char* spelling : {"Entwürfe", "Entw&APw-rfe", "entwürfe", "ENTW&APW-RFE"}) {
        auto found = findMaildirFolder(tree, spelling);
        ASSERT_TRUE(found) << spelling;
        EXPECT_EQ(found->name, "Entwürfe");
        EXPECT_EQ(found->path, dir.path() + "/Entw&APw-rfe");
    }
    EXPECT_EQ(findMaildirFolder(tree, "inbox")->path, dir.path() + "/INBOX");
    EXPECT_EQ(findMaildirFolder(tree, "lists/rust")->path, dir.path() + "/Lists/Rust");
    EXPECT_EQ(findMaildirFolder(tree, "Lists/Alias")->path, dir.path() + "/Lists/Alias") << "a link inside the tree";
    for (const char* escaping :
         {"..", "../x", "Lists/..", "/etc", "", "Stolen", "Lists/Loop/Archive", "d/d/d/d/d/d/d/d/d/d/d"}) {
        EXPECT_FALSE(findMaildirFolder(tree, escaping)) << escaping;
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

TEST(MaildirDraft, IsWrittenIntoCurAsADraftAlreadyReadThroughTmp) {
    TempDir dir;
    std::string folder = dir.path() + "/.Drafts";
    MaildirEntry first = saveDraftToMaildir(folder, "Subject: one\n\nbody\n");
    MaildirEntry second = saveDraftToMaildir(folder, "Subject: two\n\nbody\n");
    EXPECT_LT(first.uniqueName, second.uniqueName) << "names must sort in the order they were saved";
    EXPECT_EQ(first.path, folder + "/cur/" + first.uniqueName + ":2,DS");
    EXPECT_EQ(first.flags, (std::vector<std::string>{"draft", "seen"}));
    EXPECT_EQ(parseMaildirFileName(first.path.substr(folder.size() + 5))->uniqueName, first.uniqueName);
    EXPECT_EQ(first.uniqueName.find(','), std::string::npos) << "no field a sync tool would take for its own";
    EXPECT_EQ(dev_agent_test::readFile(first.path), "Subject: one\n\nbody\n");
    EXPECT_TRUE(filesIn(folder + "/tmp").empty());
    EXPECT_TRUE(filesIn(folder + "/new").empty());
}

// Where a server draft goes: the configured folder, else the tree's drafts
// folder by its name in any language, else a new "Drafts" spelt the tree's way.
struct DraftsCase {
    const char* name;
    std::vector<std::string> directories;
    const char* configured;
    const char* folder;  // "name=path below the root"
    bool exists;
};

std::ostream& operator<<(std::ostream& out, const DraftsCase& c) { return out << c.name; }

class DraftsFolderChoice : public testing::TestWithParam<DraftsCase> {};

TEST_P(DraftsFolderChoice, GoesWhereTheSyncToolPicksDraftsUp) {
    const DraftsCase& c = GetParam();
    TempDir dir;
    for (const auto& sub : c.directories) {
        fs::create_directories(dir.path() + "/" + sub);
    }
    DraftsFolder drafts = draftsFolderOf({dir.path(), MaildirLayout::detect}, c.configured);
    EXPECT_EQ(drafts.folder.name + "=" + drafts.folder.path.substr(dir.path().size()), c.folder);
    EXPECT_EQ(drafts.exists, c.exists);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DraftsFolderChoice,
    testing::Values(
        DraftsCase{"configured",
                   {"INBOX/cur", "Drafts/cur", "Work/Drafts/cur"},
                   "work/drafts",
                   "Work/Drafts=/Work/Drafts",
                   true},
        DraftsCase{"configured_missing_made_in_layout",
                   {"INBOX/cur", "Lists/Rust/cur"},
                   "Mine/Drafts",
                   "Mine/Drafts=/Mine/Drafts",
                   false},
        DraftsCase{"configured_missing_made_dotted",
                   {"INBOX/cur", "Lists.Rust/cur"},
                   "Mine/Drafts",
                   "Mine/Drafts=/Mine.Drafts",
                   false},
        DraftsCase{"found_by_german_name", {"INBOX/cur", "Entw&APw-rfe/cur"}, "", "Entwürfe=/Entw&APw-rfe", true},
        DraftsCase{"found_in_gmail",
                   {"INBOX/cur", "[Gmail]/Drafts/cur", "[Gmail]/Sent Mail/cur"},
                   "",
                   "[Gmail]/Drafts=/[Gmail]/Drafts",
                   true},
        DraftsCase{
            "found_below_inbox", {"cur", ".INBOX.Brouillons/cur"}, "", "INBOX/Brouillons=/.INBOX.Brouillons", true},
        DraftsCase{"found_ignoring_case", {"cur", ".DRAFTS/cur"}, "", "DRAFTS=/.DRAFTS", true},
        DraftsCase{"made_in_maildir_plus_plus", {"cur", ".Sent/cur"}, "", "Drafts=/.Drafts", false},
        DraftsCase{"made_in_verbatim", {"INBOX/cur", "Lists/Rust/cur"}, "", "Drafts=/Drafts", false},
        DraftsCase{"made_in_verbatim_with_root_inbox", {"cur", "Archive/cur"}, "", "Drafts=/Drafts", false}),
    [](const auto& info) { return info.param.name; });

TEST(MaildirDraft, AConfiguredFolderTheLayoutCannotSpellInsideTheTreeIsRefused) {
    TempDir dir;
    fs::create_directories(dir.path() + "/cur");
    fs::create_directories(dir.path() + "/.Sent/cur");
    MaildirTree tree{dir.path(), MaildirLayout::detect};
    for (const char* name :
         {"..", "../Drafts", "/tmp/x", "a//b", ".hidden", "INBOX.Drafts", "Drafts/cur", "Entwürfe2", "Tom & Jerry"}) {
        EXPECT_THROW(draftsFolderOf(tree, name), std::invalid_argument) << name;
    }
}

// The lister the index runs: what it offers as a message file of cur/ or new/.
TEST(MaildirListing, OffersFilesAndLinksButNotDirectoriesOrHiddenNames) {
    TempDir dir;
    std::string cur = dir.path() + "/cur";
    fs::create_directories(cur + "/1700000009.M9P1.host");
    std::ofstream(cur + "/1700000001.M1P1.host:2,S") << "Subject: a\n\n";
    std::ofstream(cur + "/.1700000002.M2P1.host") << "Subject: hidden\n\n";
    fs::create_symlink(cur + "/1700000001.M1P1.host:2,S", cur + "/1700000003.M3P1.host");

    FileNames names = messageFileNames(cur);
    names.sort();
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
              (std::vector<std::string>{"1700000001.M1P1.host:2,S", "1700000003.M3P1.host"}));
    EXPECT_TRUE(messageFileNames(dir.path() + "/new").empty()) << "a missing directory is empty";
    EXPECT_THROW(messageFileNames(cur + "/1700000001.M1P1.host:2,S"), std::system_error) << "one that cannot be listed";
}

// A large folder's listing spans many of the blocks its names are kept in.
TEST(MaildirListing, KeepsNamesWholeAcrossBlocksAndSortsThemByByte) {
    FileNames names;
    std::vector<std::string> expected;
    for (int i = 0; i < 40000; ++i) {
        std::string name = std::to_string(1700000000 + (i * 7919) % 40000) + ".M" + std::string(i % 200, 'x') + "\xff";
        names.add(name);
        expected.push_back(name);
    }
    names.sort();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()), expected);
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
