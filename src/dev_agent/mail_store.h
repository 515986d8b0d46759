#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "dev_agent/accounts.h"
#include "dev_agent/maildir.h"
#include "dev_agent/message_reader.h"
#include "dev_agent/uid_map.h"

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

// The accounts' mail as the actions see it. Summaries are cached per file (a
// Maildir file's content never changes; a flag change renames it), so listing a
// large folder parses each message once per agent run. Reads the disk on every
// call otherwise: mail that other programs deliver shows up at once.
class MailStore {
public:
    // Loads every account's UID state from `stateDir`; throws when one is damaged.
    MailStore(std::vector<Account> accounts, std::string stateDir);

    const std::vector<Account>& accounts() const { return accounts_; }

    std::vector<FolderCounts> folders(const Account& account) const;

    // Every readable message of the folder, newest first.
    std::vector<ListedMessage> list(const Account& account, const MaildirFolder& folder);

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
    SavedDraft saveDraft(const Account& account, const std::string& message);

private:
    struct CachedSummary {
        std::int64_t size = -1;
        std::int64_t mtime = 0;
        std::optional<MessageSummary> summary;  // nothing: unparseable, logged once
    };

    UidMap& uidsOf(const Account& account);
    std::vector<MaildirEntry> entriesWithUids(const Account& account, const MaildirFolder& folder);
    const std::optional<MessageSummary>& summaryOf(const MaildirEntry& entry);

    std::vector<Account> accounts_;
    std::string stateDir_;
    std::map<std::string, std::unique_ptr<UidMap>> uidMaps_;  // by account e-mail
    std::unordered_map<std::string, CachedSummary> summaries_;  // by file path
};

}  // namespace quillbrook::dev_agent
