#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dev_agent/maildir/directory_watch.h"
#include "dev_agent/maildir/maildir.h"
#include "dev_agent/mime/message_reader.h"
#include "dev_agent/store/accounts.h"
#include "dev_agent/store/folder_sync.h"
#include "dev_agent/store/mail_index.h"

namespace quillbrook::dev_agent {

// What a message list shows of one message.
struct MessageSummary {
    std::string from;
    std::string fromName;
    std::string subject;
    std::string date;
    std::int64_t time = 0;  // the Date, or the file's modification time without one
    std::string snippet;
    bool hasAttachments = false;
};

struct ListedMessage {
    std::uint64_t uid = 0;
    std::vector<std::string> flags;
    MessageSummary summary;
};

// One page of a folder: its newest messages and how many it holds. A page of
// a folder that is still being indexed is `indexing`: it holds the newest
// messages indexed so far, and the total as far as the listing tells.
struct FolderPage {
    std::size_t total = 0;
    std::vector<ListedMessage> messages;
    bool indexing = false;
};

// A folder's counts; while it is `indexing`, its total is what its listing
// counts and its unread count that of the messages indexed so far.
struct FolderCounts {
    MaildirFolder folder;
    std::size_t total = 0;
    std::size_t unread = 0;
    bool indexing = false;
};

// A message found by UID: where it lives and what it says.
struct FoundMessage {
    std::string folder;
    MaildirEntry entry;
    ParsedMessage message;
};

// The accounts' mail as the actions see it, through the index in the state
// directory ("index.sqlite"). Every call first brings the index of the folders
// it touches up to date, so mail that other programs deliver shows at once:
// from the directory watch where there is one (a change costs the change),
// else by the directories' times (see FolderSync). A list reads the body of a
// message only the first time the message is shown, for its snippet.
//
// Safe to use from several threads. Requests read from connections of their
// own beside the one writer; the writer is taken in short turns, a request's
// ahead of the indexing, which goes on in a thread of the store's own: first
// every folder of every account, then each folder a request finds changed,
// the folder a request waits for first.
class MailStore {
public:
    // Opens the index in `stateDir`, building it anew when it has a layout
    // older than this version reads, and starts indexing.
    MailStore(std::vector<Account> accounts, std::string stateDir);
    // Stops the indexing after its current batch.
    ~MailStore();

    const std::vector<Account>& accounts() const { return accounts_; }

    std::vector<FolderCounts> folders(const Account& account);

    // The `limit` newest readable messages of the folder. A folder new to the
    // index answers as soon as its newest messages are, before the rest.
    FolderPage list(const Account& account, const MaildirFolder& folder, std::size_t limit);

    // The message with `uid` in `folder`; nothing when the folder holds no such
    // readable message.
    std::optional<FoundMessage> read(const Account& account, const MaildirFolder& folder, std::uint64_t uid);

    // The message with `uid` in whichever folder of the account holds it.
    std::optional<FoundMessage> find(const Account& account, std::uint64_t uid);

    struct SavedDraft {
        std::string folder;
        std::uint64_t uid = 0;
    };

    // Saves `message` into the account's Drafts folder (created when missing).
    // When the index cannot give it a UID, the message is taken out again
    // before the error is thrown (the error names the file should that fail).
    SavedDraft saveDraft(const Account& account, const std::string& message);

private:
    struct Folder;
    class WriterTurn;
    class ReaderLease;

    struct Refreshed {
        std::int64_t id = 0;
        bool indexing = false;
        std::size_t expectedTotal = 0;
    };
    // Brings the folder's index up to date, or, for a folder being indexed,
    // waits for its first batch.
    Refreshed refresh(const Account& account, const MaildirFolder& folder);
    Folder& folderState(const Account& account, const MaildirFolder& folder, std::int64_t id);
    // Lists the folder and leaves the work for the indexer; `turn` is given
    // back while the folder is listed.
    void startSync(std::unique_lock<std::mutex>& turn, Folder& state, std::int64_t id);
    void applyWatchEvents();
    void stopWatching(Folder& state);
    // Takes out the rows of files created in place and not yet closed, and
    // has their directories listed again.
    void dropUnclosed(std::int64_t id, Folder& state);
    void indexInBackground();
    void indexQueued(std::unique_lock<std::mutex>& turn);

    std::optional<FoundMessage> readFound(const MaildirFolder& folder, std::int64_t id, std::uint64_t uid,
                                          bool followRenames);
    void forgetStamps(std::int64_t id);
    void addBodySummaries(const MaildirFolder& folder, std::int64_t folderId, std::vector<IndexedMessage>& page);

    std::vector<Account> accounts_;
    std::string indexPath_;

    // The writer and everything below it: taken in turns (WriterTurn).
    std::mutex writerMutex_;
    // Told when a request gives the writer back, a folder is asked for, a
    // batch is written or the store stops.
    std::condition_variable turns_;
    std::atomic<int> waitingRequests_{0};
    bool stopping_ = false;
    MailIndex writer_;
    std::unique_ptr<DirectoryWatch> watch_;
    std::map<std::int64_t, Folder> folders_;
    std::map<int, std::pair<std::int64_t, MailDirectory>> watched_;
    std::deque<std::int64_t> queue_;  // folders with work left, the asked-for first

    std::mutex readersMutex_;
    std::vector<std::unique_ptr<MailIndex>> idleReaders_;

    std::thread indexer_;
};

}  // namespace quillbrook::dev_agent
