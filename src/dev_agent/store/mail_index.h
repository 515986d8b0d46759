#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dev_agent/store/sqlite.h"

namespace quillbrook::dev_agent {

// The two directories of a Maildir folder that hold messages.
enum class MailDirectory : int { cur = 0, incoming = 1 };
inline const char* directoryName(MailDirectory dir) { return dir == MailDirectory::cur ? "cur" : "new"; }

// What the index keeps of one message file; the fields after `seen` come from
// the header, `snippet` and `hasAttachments` from the body once it was read,
// `messageId` from the header again.
struct IndexedMessage {
    MailDirectory dir = MailDirectory::cur;
    std::string name;  // the file name, flags included
    std::uint64_t uid = 0;
    bool seen = false;
    std::int64_t time = 0;
    std::string from;
    std::string fromName;
    std::string subject;
    std::string date;
    std::optional<std::string> snippet;
    bool hasAttachments = false;
    std::string messageId;  // from the header, brackets included; empty without one
};

// When each message directory of a folder last changed, as the index saw it
// (nanoseconds); -1 when the index must look again.
struct DirectoryStamps {
    std::int64_t cur = -1;
    std::int64_t incoming = -1;  // new/
    std::int64_t& of(MailDirectory dir) { return dir == MailDirectory::cur ? cur : incoming; }
};

struct FolderTotals {
    std::size_t total = 0;
    std::size_t unread = 0;
};

// Where a unique name seen for the first time takes its UID from (see
// MailIndex::uidFor).
struct NewUidSource {
    std::optional<std::uint64_t> former = std::nullopt;
    std::optional<std::uint64_t> reserved = std::nullopt;
};

// The persistent index of the agent's mail in one SQLite database: per account
// the next UID to give, and per folder the UID of every unique name ever seen
// there, the header summary of each message file and the state of its
// directories at the last look. It stores; FolderSync decides what to store.
// Not thread-safe: one user at a time.
class MailIndex {
public:
    // Opens or creates the database at `path` (WAL journal). A reader opens
    // the database its writer made and leaves the layout alone: it only
    // reads, beside the writer, from its own connection.
    enum class Role { writer, reader };
    explicit MailIndex(const std::string& path, Role role = Role::writer);
    ~MailIndex();

    // One batch of changes, committed together or not at all.
    sqlite::Transaction transaction();

    // The UID of the message `uniqueName` in `folder`, given now when it has
    // none: `source.former` when there is one (the UID of the message whose
    // file a sync tool renamed to this new unique name), else
    // `source.reserved` (see reserveUids), else the next one. Accounts are
    // keyed by their lower-case address; their UIDs are unique across their
    // folders and start from the time the account's numbering began (see
    // mail_index.cpp), so that no UID of a lost index comes to name another
    // message.
    std::uint64_t uidFor(const std::string& account, std::int64_t folder, const std::string& uniqueName,
                         const NewUidSource& source = {});
    // Sets `count` UIDs in a row aside, for names seen together that are
    // indexed in another order than they take UIDs; returns the first.
    std::uint64_t reserveUids(const std::string& account, std::size_t count);
    // The unique name that `uid` was given to in `folder`.
    std::optional<std::string> uniqueNameOf(std::int64_t folder, std::uint64_t uid);

    std::int64_t folderId(const std::string& account, const std::string& folderPath);
    DirectoryStamps stamps(std::int64_t folder);
    void setStamps(std::int64_t folder, const DirectoryStamps& stamps);

    // Calls `visit` with the name of every file of `dir` the index holds, in
    // byte order, one at a time: a large folder is never all in memory.
    void forEachName(std::int64_t folder, MailDirectory dir, const std::function<void(std::string_view)>& visit);
    std::optional<IndexedMessage> byName(std::int64_t folder, MailDirectory dir, const std::string& name);
    void insert(std::int64_t folder, const IndexedMessage& message);
    void remove(std::int64_t folder, MailDirectory dir, const std::string& name);
    // Whether the index holds the file, and if so whether it was seen.
    std::optional<bool> seenOf(std::int64_t folder, MailDirectory dir, const std::string& name);
    // Moves the counts of totals() by one message's coming or going, so that
    // a single change does not count the folder anew.
    void addToTotals(std::int64_t folder, int total, int unread);

    // Counts the folder's messages and unread messages afresh, for totals().
    void countMessages(std::int64_t folder);
    // The counts as of the last countMessages, so that a large folder is not
    // counted on every look.
    FolderTotals totals(std::int64_t folder);
    // The messages, newest first (by time, then UID).
    std::vector<IndexedMessage> newest(std::int64_t folder, std::size_t limit);
    std::optional<IndexedMessage> byUid(std::int64_t folder, std::uint64_t uid);
    void setBodySummary(std::int64_t folder, const IndexedMessage& message);

private:
    std::int64_t nextUid(const std::string& account);

    sqlite::Database db_;
    struct Statements;
    std::unique_ptr<Statements> statements_;
};

}  // namespace quillbrook::dev_agent
