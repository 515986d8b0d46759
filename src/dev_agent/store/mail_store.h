#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dev_agent/maildir/maildir.h"
#include "dev_agent/mime/message_reader.h"
#include "dev_agent/store/accounts.h"
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

// One page of a folder: its newest messages and how many it holds.
struct FolderPage {
    std::size_t total = 0;
    std::vector<ListedMessage> messages;
};

struct FolderCounts {
    MaildirFolder folder;
    std::size_t total = 0;
    std::size_t unread = 0;
};

// A message found by UID: where it lives and what it says.
struct FoundMessage {
    std::string folder;
    MaildirEntry entry;
    ParsedMessage message;
};

// The accounts' mail as the actions see it, through the index in the state
// directory ("index.sqlite"). Every call first brings the index of the folders
// it touches up to date (see syncFolder), so mail that other programs deliver
// shows at once. A list reads the body of a message only the first time the
// message is shown, for its snippet. Safe to use from several threads: calls
// take turns.
class MailStore {
public:
    // Opens the index in `stateDir`, building it anew when it has a layout
    // older than this version reads.
    MailStore(std::vector<Account> accounts, std::string stateDir);

    const std::vector<Account>& accounts() const { return accounts_; }

    std::vector<FolderCounts> folders(const Account& account);

    // The `limit` newest readable messages of the folder.
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

    // Indexes every folder of every account, as at start; returns early once
    // `stopRequested` says so. A request that comes meanwhile goes first: the
    // indexing steps aside after its current batch, so that the folder the
    // request asks for is indexed before the rest.
    void indexAll(const std::function<bool()>& stopRequested);

private:
    // The store's lock as a request takes it: ahead of the background indexing.
    class RequestLock {
    public:
        explicit RequestLock(MailStore& store);
        std::unique_lock<std::mutex> lock;
    };

    std::int64_t synced(
        const Account& account, const MaildirFolder& folder,
        const std::function<bool()>& stopRequested = [] { return false; });
    // `followRenames`: when the index does not hold the UID in `folder`, look
    // for its message file by unique name (it may have been renamed while the
    // folder was listed); a search through every folder leaves that out.
    std::optional<FoundMessage> readLocked(const Account& account, const MaildirFolder& folder, std::uint64_t uid,
                                           bool followRenames);
    void addBodySummaries(const MaildirFolder& folder, std::int64_t folderId, std::vector<IndexedMessage>& page);

    std::vector<Account> accounts_;
    std::mutex mutex_;
    std::atomic<int> waitingRequests_{0};
    MailIndex index_;
};

}  // namespace quillbrook::dev_agent
