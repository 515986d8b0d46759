#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dev_agent/store/folder_sync.h"
#include "dev_agent/store/mail_index.h"
#include "dev_agent/store/mail_store.h"
#include "dev_agent/store/sqlite.h"
#include "dev_agent/store/state_lock.h"
#include "dev_agent_fixture.h"

// The persistent index behind the mail store: what a restart takes from it, what
// a change on disk brings into it, and what it makes of an index of an older layout.

namespace quillbrook::dev_agent {
namespace {

using dev_agent_test::readFile;
using dev_agent_test::TempDir;

std::string message(const std::string& subject, const std::string& date) {
    return "From: Jonas Berg <jonas@example.com>\nSubject: " + subject + "\nDate: " + date + "\n\nAbout " + subject +
           ".\n";
}

// Moves a directory's modification time a minute back, as for a mailbox that
// has been quiet for a while (the index trusts only settled times).
void settle(const std::string& directory) {
    timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, directory.c_str(), times, 0), 0) << directory;
}

class Index : public testing::Test {
protected:
    Index() {
        for (const char* sub : {"/mail/cur", "/mail/new", "/mail/tmp"}) {
            std::filesystem::create_directories(dir_.path() + sub);
        }
        write("cur/1700000001.M1P1.host:2,S", message("First", "Tue, 14 Nov 2023 22:13:21 +0000"));
        write("cur/1700000002.M2P1.host:2,", message("Second", "Tue, 14 Nov 2023 22:13:22 +0000"));
        write("new/1700000003.M3P1.host", message("Third", "Tue, 14 Nov 2023 22:13:23 +0000"));
    }

    void write(const std::string& name, const std::string& content) {
        std::ofstream(mailPath(name), std::ios::binary) << content;
    }
    std::string mailPath(const std::string& name) const { return dir_.path() + "/mail/" + name; }
    std::string statePath() const { return dir_.path() + "/state"; }
    void settleBoth() {
        settle(mailPath("cur"));
        settle(mailPath("new"));
    }

    // A fresh store over the same directories, as after a restart.
    MailStore& open() {
        store_.reset();
        store_ = std::make_unique<MailStore>(std::vector<Account>{account_}, statePath());
        return *store_;
    }

    // "subject:uid:flags" of each listed message, newest first. A new index
    // numbers from the time it began: the UIDs show counted from there, from 1.
    std::vector<std::string> listing() {
        FolderPage page = store_->list(account_, {"INBOX", account_.root, ""}, 50);
        EXPECT_EQ(page.total, page.messages.size());
        if (!firstUid_) {
            std::uint64_t lowest = UINT64_MAX;
            for (const auto& listed : page.messages) {
                lowest = std::min(lowest, listed.uid);
            }
            firstUid_ = lowest != UINT64_MAX && lowest > kNumberedByTime ? lowest : 1;
        }
        std::vector<std::string> lines;
        for (auto listed : page.messages) {
            listed.uid = listed.uid - *firstUid_ + 1;
            std::string flags;
            for (const auto& flag : listed.flags) {
                flags += flag;
            }
            lines.push_back(listed.summary.subject + ":" + std::to_string(listed.uid) + ":" + flags);
        }
        return lines;
    }

    using Lines = std::vector<std::string>;

    // The UID that listing() shows as `shown`.
    std::uint64_t uid(std::uint64_t shown) const { return shown + firstUid_.value_or(1) - 1; }

    // UIDs above this were numbered from a time, not from 1.
    static constexpr std::uint64_t kNumberedByTime = 1'000'000'000'000'000;

    TempDir dir_;
    std::optional<std::uint64_t> firstUid_;
    Account account_{"ada@example.com", "Ada", dir_.path() + "/mail"};
    std::unique_ptr<MailStore> store_;
};

TEST_F(Index, ARestartTakesUnchangedFilesFromTheIndexWithoutReadingThem) {
    settleBoth();
    open();
    EXPECT_EQ(listing(), (Lines{"Third:3:", "Second:2:", "First:1:seen"}));
    // A file rewritten in place leaves its directory as it was; a Maildir never
    // does this, so the index may answer from what it holds.
    write("cur/1700000002.M2P1.host:2,", message("Rewritten", "Tue, 14 Nov 2023 22:13:22 +0000"));
    settleBoth();
    open();
    EXPECT_EQ(listing(), (Lines{"Third:3:", "Second:2:", "First:1:seen"}));
}

TEST_F(Index, ArrivalsRemovalsAndFlagChangesShowOnTheNextLookWithStableUids) {
    settleBoth();
    open();
    listing();
    write("new/1600000000.M9P1.host", message("Late", "Tue, 14 Nov 2023 22:13:24 +0000"));
    std::filesystem::remove(mailPath("cur/1700000001.M1P1.host:2,S"));
    std::filesystem::rename(mailPath("new/1700000003.M3P1.host"), mailPath("cur/1700000003.M3P1.host:2,FS"));
    EXPECT_EQ(listing(), (Lines{"Late:4:", "Third:3:flaggedseen", "Second:2:"}));
    EXPECT_EQ(store_->folders(account_)[0].unread, 2u);
    open();
    EXPECT_EQ(listing(), (Lines{"Late:4:", "Third:3:flaggedseen", "Second:2:"}));
    // A message that comes back keeps the UID it had.
    write("cur/1700000001.M1P1.host:2,S", message("First", "Tue, 14 Nov 2023 22:13:21 +0000"));
    EXPECT_EQ(listing(), (Lines{"Late:4:", "Third:3:flaggedseen", "Second:2:", "First:1:seen"}));
}

TEST_F(Index, ReadsAMessageByUidAndNotOneThatWentAway) {
    open();
    listing();
    auto found = store_->read(account_, {"INBOX", account_.root, ""}, uid(2));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->message.body, "About Second.\n");
    EXPECT_EQ(found->entry.path, mailPath("cur/1700000002.M2P1.host:2,"));
    std::filesystem::remove(mailPath("cur/1700000002.M2P1.host:2,"));
    EXPECT_FALSE(store_->read(account_, {"INBOX", account_.root, ""}, uid(2)));
}

// After the state directory is lost (and one old message with it), no UID given
// before comes to name another message: each names its message again or none.
TEST_F(Index, AUidOfALostIndexNeverNamesAnotherMessage) {
    open();
    listing();
    std::map<std::uint64_t, std::string> before;  // UID -> subject
    for (const auto& listed : store_->list(account_, {"INBOX", account_.root, ""}, 50).messages) {
        before[listed.uid] = listed.summary.subject;
    }
    ASSERT_EQ(before.size(), 3u);
    std::filesystem::remove(mailPath("cur/1700000001.M1P1.host:2,S"));
    store_.reset();
    std::filesystem::remove_all(statePath());
    open();
    std::vector<std::uint64_t> now;
    for (const auto& listed : store_->list(account_, {"INBOX", account_.root, ""}, 50).messages) {
        now.push_back(listed.uid);
        EXPECT_FALSE(before.contains(listed.uid))
            << "UID " << listed.uid << " was given before, to " << before[listed.uid];
    }
    EXPECT_EQ(now.size(), 2u);
    for (const auto& [uid, subject] : before) {
        auto found = store_->read(account_, {"INBOX", account_.root, ""}, uid);
        EXPECT_TRUE(!found || found->message.subject == subject) << uid << " now names " << found->message.subject;
    }
}

// A mail program renaming a message's file to record its flags, again and
// again, while it is read: every read finds it.
TEST_F(Index, AMessageWhoseFlagsChangeWhileItIsReadIsAlwaysFound) {
    open();
    listing();
    std::atomic<bool> done{false};
    std::thread mailProgram([&] {
        const std::string names[] = {mailPath("cur/1700000002.M2P1.host:2,"), mailPath("cur/1700000002.M2P1.host:2,S"),
                                     mailPath("cur/1700000002.M2P1.host:2,RS")};
        for (std::size_t i = 0; !done; ++i) {
            std::filesystem::rename(names[i % 3], names[(i + 1) % 3]);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int missed = 0;
    for (int attempt = 0; attempt < 300; ++attempt) {
        auto found = store_->read(account_, {"INBOX", account_.root, ""}, uid(2));
        missed += !found || found->message.subject != "Second" ? 1 : 0;
    }
    done = true;
    mailProgram.join();
    EXPECT_EQ(missed, 0) << "of 300 reads";
}

// Waits, up to a bound, until `done` holds.
template <class Condition>
bool eventually(Condition done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(Index, AFolderBeingIndexedAnswersWithItsNewestMessagesFirstAndSaysSo) {
    constexpr int kCount = 3000;
    // Links to one file: a new file costs the file system far more than a name.
    std::ofstream(dir_.path() + "/older-mail") << message("Older mail", "Mon, 14 Sep 2020 12:26:40 +0000");
    for (int i = 0; i < kCount; ++i) {
        std::filesystem::create_hard_link(
            dir_.path() + "/older-mail",
            mailPath("cur/" + std::to_string(1600000000 + i) + ".M" + std::to_string(i) + "P1.host:2,S"));
    }
    open();
    MaildirFolder inbox{"INBOX", account_.root, ""};
    FolderPage first = store_->list(account_, inbox, 3);
    ASSERT_EQ(first.messages.size(), 3U);
    // Newest by delivery time, whether or not the rest is indexed yet; the
    // three files of the fixture are newer still.
    EXPECT_EQ(first.messages[0].summary.subject, "Third");
    EXPECT_EQ(first.total, kCount + 3U);
    EXPECT_EQ(store_->folders(account_).front().total, kCount + 3U) << "counted by the listing while indexed";
    FolderPage last;
    EXPECT_TRUE(eventually([&] { return !(last = store_->list(account_, inbox, 1)).indexing; }));
    EXPECT_EQ(last.total, kCount + 3U);
    EXPECT_FALSE(store_->folders(account_).front().indexing);
}

// The watch writes the rows of the files it tells of while a folder is
// indexed: a batch read before the news does not bring back a renamed file's
// old name, nor take out a file that came back.
TEST_F(Index, ABatchLeavesTheFilesTheWatchToldOfToTheWatch) {
    MailIndex index(dir_.path() + "/index.sqlite");
    std::int64_t id = index.folderId("ada@example.com", account_.root);
    FolderSync sync(index, "ada@example.com", {"INBOX", account_.root, ""}, id);
    std::unique_ptr<FolderSync::Batch> batch = sync.readBatch();
    std::filesystem::rename(mailPath("cur/1700000002.M2P1.host:2,"), mailPath("cur/1700000002.M2P1.host:2,S"));
    sync.writeBatch(index, *batch, {{MailDirectory::cur, "1700000002.M2P1.host:2,"}});
    EXPECT_FALSE(index.byName(id, MailDirectory::cur, "1700000002.M2P1.host:2,"));
    EXPECT_TRUE(index.byName(id, MailDirectory::cur, "1700000001.M1P1.host:2,S"));
    EXPECT_TRUE(sync.done());
}

// Where the watch cannot be trusted, the folder is listed again.
TEST_F(Index, AReplacedDirectoryIsListedAnew) {
    open();
    listing();
    std::filesystem::rename(mailPath("cur"), mailPath("old-cur"));
    std::filesystem::create_directories(mailPath("cur"));
    write("cur/1700000009.M9P1.host:2,", message("Moved in", "Tue, 14 Nov 2023 22:13:29 +0000"));
    EXPECT_EQ(listing(), (Lines{"Moved in:4:", "Third:3:"}));
}

TEST_F(Index, LostWatchEventsMakeTheFolderListedAnew) {
    long queued = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
    if (queued <= 0 || queued > 1'000'000) {
        GTEST_SKIP() << "no inotify queue to overflow";
    }
    open();
    listing();
    std::string name = mailPath("cur/1700000002.M2P1.host:2,");
    for (long i = 0; i <= queued; ++i) {
        std::string next = mailPath(i % 2 == 0 ? "cur/1700000002.M2P1.host:2,S" : "cur/1700000002.M2P1.host:2,");
        std::filesystem::rename(name, next);
        name = next;
    }
    std::filesystem::remove(mailPath("cur/1700000001.M1P1.host:2,S"));
    EXPECT_EQ(listing(), (Lines{"Third:3:", "Second:2:seen"}));
}

TEST_F(Index, ReadFollowsAFileRenamedWithinItsDirectorysClockTick) {
    settleBoth();
    open();
    listing();
    auto stamp = std::filesystem::last_write_time(mailPath("cur"));
    std::filesystem::rename(mailPath("cur/1700000002.M2P1.host:2,"), mailPath("cur/1700000002.M2P1.host:2,S"));
    std::filesystem::last_write_time(mailPath("cur"), stamp);
    auto found = store_->read(account_, {"INBOX", account_.root, ""}, uid(2));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->entry.flags, std::vector<std::string>{"seen"});
}

// A directory that cannot be listed for a moment, in a way that holds for root
// too: it stands aside for a file with its modification time, so its stamp is
// all the index could go by.
struct UnlistableCase {
    const char* directory;
    bool byPermission;  // by mode 000 instead, which root is not denied
};

class UnlistableDirectory : public Index, public testing::WithParamInterface<UnlistableCase> {};

TEST_P(UnlistableDirectory, FailsTheRequestAndKeepsTheFolderIndexed) {
    if (GetParam().byPermission && ::geteuid() == 0) {
        GTEST_SKIP() << "root lists any directory";
    }
    open();
    Lines before = listing();
    settleBoth();
    std::string path = mailPath(GetParam().directory);
    if (GetParam().byPermission) {
        ::chmod(path.c_str(), 0);
    } else {
        auto stamp = std::filesystem::last_write_time(path);
        std::filesystem::rename(path, path + ".aside");
        write(GetParam().directory, "");
        std::filesystem::last_write_time(path, stamp);
    }
    EXPECT_THROW(store_->list(account_, {"INBOX", account_.root, ""}, 50), std::system_error);
    EXPECT_THROW(store_->folders(account_), std::system_error);
    if (GetParam().byPermission) {
        ::chmod(path.c_str(), 0700);
    } else {
        std::filesystem::remove(path);
        std::filesystem::rename(path + ".aside", path);
    }
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(store_->folders(account_)[0].total, 3u);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnlistableDirectory,
                         testing::Values(UnlistableCase{"cur", false}, UnlistableCase{"new", false},
                                         UnlistableCase{"cur", true}),
                         [](const auto& info) {
                             return std::string(info.param.directory) + (info.param.byPermission ? "Mode000" : "AFile");
                         });

TEST_F(Index, SnippetAndAttachmentsComeFromTheBody) {
    write("cur/1700000004.M4P1.host:2,S",
          "From: a@example.com\nSubject: Report\nDate: Tue, 14 Nov 2023 22:13:25 +0000\nMIME-Version: 1.0\n"
          "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\n" +
              std::string(20000, ' ') +
              "Numbers   inside.\n--b\nContent-Type: application/pdf\n"
              "Content-Disposition: attachment; filename=r.pdf\n\nxx\n--b--\n");
    open();
    FolderPage page = store_->list(account_, {"INBOX", account_.root, ""}, 1);
    ASSERT_EQ(page.messages.size(), 1u);
    EXPECT_EQ(page.total, 4u);
    EXPECT_EQ(page.messages[0].summary.snippet, "Numbers inside.");
    EXPECT_TRUE(page.messages[0].summary.hasAttachments);
}

TEST_F(Index, TheSameFileNameInTwoFoldersNamesTwoMessages) {
    std::filesystem::create_directories(mailPath(".Archive/cur"));
    write(".Archive/cur/1700000002.M2P1.host:2,", message("Archived", "Tue, 14 Nov 2023 22:13:29 +0000"));
    struct Copy {
        MaildirFolder folder;
        const char* subject;
        std::uint64_t uid = 0;
    };
    Copy copies[] = {{{"INBOX", account_.root, ""}, "Second"}, {{"Archive", mailPath(".Archive"), ""}, "Archived"}};
    for (int start = 0; start < 2; ++start) {
        open();
        for (auto& copy : copies) {
            auto listed = store_->list(account_, copy.folder, 50).messages;
            auto same = std::find_if(listed.begin(), listed.end(),
                                     [&](const ListedMessage& m) { return m.summary.subject == copy.subject; });
            ASSERT_NE(same, listed.end());
            EXPECT_TRUE(copy.uid == 0 || copy.uid == same->uid) << "a restart renumbered " << copy.subject;
            copy.uid = same->uid;
        }
        EXPECT_NE(copies[0].uid, copies[1].uid);
        auto subjectOf = [](const std::optional<FoundMessage>& found) {
            return found ? found->message.subject : "(none)";
        };
        for (const auto& copy : copies) {
            EXPECT_EQ(subjectOf(store_->read(account_, copy.folder, copy.uid)), copy.subject);
            EXPECT_EQ(subjectOf(store_->find(account_, copy.uid)), copy.subject);
        }
    }
}

// A draft the agent saved, renamed by a sync tool once it has uploaded it, and
// again on later runs: it keeps the UID it was answered with, also across
// restarts. A file of another Message-ID in its place is another message.
struct SyncRenameCase {
    const char* name;
    std::vector<std::string> renames;  // the draft's later names in cur/; "@" is its unique name
    bool replacedByAnother;            // the last name holds another message
};

std::ostream& operator<<(std::ostream& out, const SyncRenameCase& c) { return out << c.name; }

class SyncToolRename : public Index, public testing::WithParamInterface<SyncRenameCase> {};

TEST_P(SyncToolRename, KeepsTheDraftsUid) {
    const SyncRenameCase& c = GetParam();
    open();
    MailStore::SavedDraft saved = store_->saveDraft(
        account_, "From: ada@example.com\nSubject: Plan\nMessage-ID: <plan-1@example.com>\n\nDraft.\n");
    MaildirFolder drafts{"Drafts", mailPath(".Drafts"), ""};
    FileNames listed = messageFileNames(drafts.path + "/cur");
    ASSERT_EQ(listed.size(), 1U);
    std::string current(listed[0]);
    std::string uniqueName = parseMaildirFileName(current)->uniqueName;
    for (std::size_t step = 0; step < c.renames.size(); ++step) {
        std::string name = c.renames[step];
        if (name.front() == '@') {
            name.replace(0, 1, uniqueName);
        }
        std::string next = drafts.path + "/cur/" + name;
        bool last = step + 1 == c.renames.size();
        if (last && c.replacedByAnother) {
            std::filesystem::remove(drafts.path + "/cur/" + current);
            write(".Drafts/cur/" + name,
                  "From: ada@example.com\nSubject: Other\nMessage-ID: <other@example.com>\n\nOther.\n");
        } else {
            std::filesystem::rename(drafts.path + "/cur/" + current, next);
        }
        current = name;
        FolderPage page = store_->list(account_, drafts, 50);
        ASSERT_EQ(page.messages.size(), 1u) << current;
        EXPECT_EQ(page.messages[0].uid == saved.uid, !(last && c.replacedByAnother)) << current;
        auto found = store_->read(account_, drafts, saved.uid);
        EXPECT_EQ(found ? found->message.subject : "(none)", last && c.replacedByAnother ? "(none)" : "Plan")
            << current;
        open();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SyncToolRename,
    testing::Values(SyncRenameCase{"mbsync", {"@,U=12:2,DS", "@,U=12:2,DRS"}, false},
                    SyncRenameCase{"offlineimap",
                                   {"1700000100_0.4242.box,U=12,FMD5=0f1e2d3c4b5a69788796a5b4c3d2e1f0:2,DS",
                                    "1700000200_1.4243.box,U=40,FMD5=0f1e2d3c4b5a69788796a5b4c3d2e1f0:2,DS"},
                                   false},
                    SyncRenameCase{"another_message_in_its_place",
                                   {"1700000100_0.4242.box,U=12,FMD5=0f1e2d3c4b5a69788796a5b4c3d2e1f0:2,DS"},
                                   true}),
    [](const auto& info) { return info.param.name; });

// An index of a layout older than this version reads is built anew: its UIDs
// name nothing any more, and the new ones are numbered from the time.
TEST_F(Index, AnIndexOfAnOlderLayoutIsBuiltAnewWithNewUids) {
    std::filesystem::create_directories(statePath());
    {
        sqlite::Database old(statePath() + "/index.sqlite");
        old.execute(R"(
CREATE TABLE accounts (account TEXT PRIMARY KEY, next_uid INTEGER NOT NULL);
CREATE TABLE uids (account TEXT NOT NULL, name TEXT NOT NULL, uid INTEGER NOT NULL, PRIMARY KEY (account, name))
  WITHOUT ROWID;
CREATE TABLE folders (id INTEGER PRIMARY KEY, account TEXT NOT NULL, path TEXT NOT NULL,
  cur_stamp INTEGER NOT NULL DEFAULT -1, new_stamp INTEGER NOT NULL DEFAULT -1,
  total INTEGER NOT NULL DEFAULT 0, unread INTEGER NOT NULL DEFAULT 0, UNIQUE (account, path));
CREATE TABLE messages (folder INTEGER NOT NULL, dir INTEGER NOT NULL, name TEXT NOT NULL, uid INTEGER NOT NULL,
  seen INTEGER NOT NULL, time INTEGER NOT NULL, sender TEXT NOT NULL, sender_name TEXT NOT NULL,
  subject TEXT NOT NULL, date TEXT NOT NULL, snippet TEXT, attachments INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (folder, dir, name));
INSERT INTO accounts VALUES ('ada@example.com', 40);
INSERT INTO uids VALUES ('ada@example.com', '1700000001.M1P1.host', 31), ('ada@example.com', '1700000003.M3P1.host', 33);
PRAGMA user_version = 2;
)");
    }
    open();
    EXPECT_EQ(listing(), (Lines{"Third:3:", "Second:2:", "First:1:seen"}));
    EXPECT_GT(*firstUid_, kNumberedByTime);
    for (std::uint64_t old : {31, 33, 40}) {
        EXPECT_FALSE(store_->find(account_, old)) << old;
    }
}

TEST(StateDirectoryLock, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    std::string state = dir.path() + "/state";
    {
        StateDirectoryLock first(state);
        try {
            StateDirectoryLock second(state);
            FAIL() << "two holders of one state directory";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what())
                          .find("another agent (pid " + std::to_string(::getpid()) + ") is using the state directory " +
                                state),
                      std::string::npos)
                << error.what();
        }
    }
    EXPECT_NO_THROW(StateDirectoryLock again(state));
}

}  // namespace
}  // namespace quillbrook::dev_agent
