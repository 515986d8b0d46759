#include "dev_agent/store/mail_index.h"

#include <chrono>
#include <stdexcept>

#include "dev_agent/base/log.h"

namespace quillbrook::dev_agent {

namespace {

// The layout of the index. Version 3 gives UIDs per folder and unique name,
// where earlier ones gave one per unique name in the whole account, so that
// two messages filed under one name in two folders have a UID each. Version 4
// keeps each message's Message-ID, so that a file a sync tool renames to a
// new unique name keeps its UID, and takes the unique name without the sync
// tools' UID fields (",U=17").
constexpr int kSchemaVersion = 4;
// An index of an older layout is given up and built anew: the Maildir holds
// everything but the UIDs, and the new numbering starts from the time (see
// firstUidNow), past every UID the old index gave.
constexpr int kOldestSupportedVersion = 4;

constexpr const char* kSchema = R"(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
CREATE TABLE IF NOT EXISTS accounts (
  account TEXT PRIMARY KEY,
  next_uid INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS folders (
  id INTEGER PRIMARY KEY,
  account TEXT NOT NULL,
  path TEXT NOT NULL,
  cur_stamp INTEGER NOT NULL DEFAULT -1,
  new_stamp INTEGER NOT NULL DEFAULT -1,
  total INTEGER NOT NULL DEFAULT 0,
  unread INTEGER NOT NULL DEFAULT 0,
  UNIQUE (account, path)
);
CREATE TABLE IF NOT EXISTS uids (
  folder INTEGER NOT NULL,
  name TEXT NOT NULL,
  uid INTEGER NOT NULL,
  PRIMARY KEY (folder, name)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS messages (
  folder INTEGER NOT NULL,
  dir INTEGER NOT NULL,
  name TEXT NOT NULL,
  uid INTEGER NOT NULL,
  seen INTEGER NOT NULL,
  time INTEGER NOT NULL,
  sender TEXT NOT NULL,
  sender_name TEXT NOT NULL,
  subject TEXT NOT NULL,
  date TEXT NOT NULL,
  snippet TEXT,
  attachments INTEGER NOT NULL DEFAULT 0,
  message_id TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (folder, dir, name)
);
CREATE INDEX IF NOT EXISTS messages_by_time ON messages (folder, time DESC, uid DESC, seen);
CREATE INDEX IF NOT EXISTS messages_by_uid ON messages (folder, uid);
CREATE INDEX IF NOT EXISTS uids_by_uid ON uids (folder, uid);
PRAGMA user_version = 4;
)";

// Every table an earlier layout had; their indexes go with them.
constexpr const char* kDropOlderLayout = R"(
DROP TABLE IF EXISTS messages;
DROP TABLE IF EXISTS uids;
DROP TABLE IF EXISTS folders;
DROP TABLE IF EXISTS accounts;
)";

// The columns of a message row, in the order every query names them: the
// reader of a row and the insert's parameters both go by these names.
enum Column : int {
    dir,
    name,
    uid,
    seen,
    time,
    sender,
    senderName,
    subject,
    date,
    snippet,
    attachments,
    messageId,
    kColumns
};

constexpr const char* kColumnNames[kColumns] = {"dir",  "name",    "uid",         "seen",
                                                "time", "sender",  "sender_name", "subject",
                                                "date", "snippet", "attachments", "message_id"};

// The insert's parameter for a column: ?1 is the folder.
constexpr int parameterOf(Column column) { return column + 2; }

std::string columnList() {
    std::string list;
    for (const char* column : kColumnNames) {
        list += list.empty() ? "" : ", ";
        list += column;
    }
    return list;
}

std::string insertSql() {
    std::string parameters = "?1";
    for (int column = 0; column < kColumns; ++column) {
        parameters += ", ?" + std::to_string(parameterOf(static_cast<Column>(column)));
    }
    return "INSERT OR REPLACE INTO messages (folder, " + columnList() + ") VALUES (" + parameters + ")";
}

IndexedMessage messageFrom(const sqlite::Query& row) {
    IndexedMessage message;
    message.dir = static_cast<MailDirectory>(row.integer(dir));
    message.name = row.text(name);
    message.uid = static_cast<std::uint64_t>(row.integer(uid));
    message.seen = row.integer(seen) != 0;
    message.time = row.integer(time);
    message.from = row.text(sender);
    message.fromName = row.text(senderName);
    message.subject = row.text(subject);
    message.date = row.text(date);
    if (!row.isNull(snippet)) {
        message.snippet = row.text(snippet);
    }
    message.hasAttachments = row.integer(attachments) != 0;
    message.messageId = row.text(messageId);
    return message;
}

// The first UID of an account new to the index: the time in microseconds. An
// index made anew, after the old one was lost, so numbers past every UID the
// old one gave (it gave fewer than one per microsecond it existed, each in a
// transaction of its own), and a UID from before answers not_found instead of
// naming another message: a validity stamp, as IMAP's UIDVALIDITY, inside the
// UID itself. It stays below 2^53, so clients that read numbers as doubles
// keep every digit. This holds while the clock does not go back past the old
// index's last UID.
std::int64_t firstUidNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int schemaVersion(sqlite::Database& db) {
    sqlite::Statement statement = db.prepare("PRAGMA user_version");
    sqlite::Query query(statement);
    return query.step() ? static_cast<int>(query.integer(0)) : 0;
}

}  // namespace

struct MailIndex::Statements {
    explicit Statements(sqlite::Database& db)
        : nextUidOf(db.prepare("SELECT next_uid FROM accounts WHERE account = ?1")),
          addAccount(db.prepare("INSERT OR IGNORE INTO accounts (account, next_uid) VALUES (?1, ?2)")),
          raiseNextUid(db.prepare("UPDATE accounts SET next_uid = max(next_uid, ?2) WHERE account = ?1")),
          uidOf(db.prepare("SELECT uid FROM uids WHERE folder = ?1 AND name = ?2")),
          nameOf(db.prepare("SELECT name FROM uids WHERE folder = ?1 AND uid = ?2")),
          addUid(db.prepare("INSERT INTO uids (folder, name, uid) VALUES (?1, ?2, ?3)")),
          addUidIfNew(db.prepare("INSERT OR IGNORE INTO uids (folder, name, uid) VALUES (?1, ?2, ?3)")),
          renameUid(db.prepare("UPDATE uids SET name = ?3 WHERE folder = ?1 AND uid = ?2")),
          folderOf(db.prepare("SELECT id FROM folders WHERE account = ?1 AND path = ?2")),
          addFolder(db.prepare("INSERT INTO folders (account, path) VALUES (?1, ?2)")),
          stampsOf(db.prepare("SELECT cur_stamp, new_stamp FROM folders WHERE id = ?1")),
          setStamps(db.prepare("UPDATE folders SET cur_stamp = ?2, new_stamp = ?3 WHERE id = ?1")),
          names(db.prepare("SELECT name FROM messages WHERE folder = ?1 AND dir = ?2 ORDER BY name")),
          byName(db.prepare("SELECT " + columnList() + " FROM messages WHERE folder = ?1 AND dir = ?2 AND name = ?3")),
          insert(db.prepare(insertSql())),
          remove(db.prepare("DELETE FROM messages WHERE folder = ?1 AND dir = ?2 AND name = ?3")),
          totals(db.prepare("SELECT total, unread FROM folders WHERE id = ?1")),
          count(db.prepare("UPDATE folders SET (total, unread) = (SELECT count(*), coalesce(sum(seen = 0), 0) "
                           "FROM messages WHERE folder = ?1) WHERE id = ?1")),
          newest(db.prepare("SELECT " + columnList() +
                            " FROM messages WHERE folder = ?1 ORDER BY time DESC, uid DESC LIMIT ?2")),
          byUid(db.prepare("SELECT " + columnList() + " FROM messages WHERE folder = ?1 AND uid = ?2")),
          setBody(db.prepare("UPDATE messages SET snippet = ?4, attachments = ?5 "
                             "WHERE folder = ?1 AND dir = ?2 AND name = ?3")),
          seenOf(db.prepare("SELECT seen FROM messages WHERE folder = ?1 AND dir = ?2 AND name = ?3")),
          addToTotals(db.prepare("UPDATE folders SET total = total + ?2, unread = unread + ?3 WHERE id = ?1")) {}

    sqlite::Statement nextUidOf, addAccount, raiseNextUid, uidOf, nameOf, addUid, addUidIfNew, renameUid, folderOf,
        addFolder, stampsOf, setStamps, names, byName, insert, remove, totals, count, newest, byUid, setBody, seenOf,
        addToTotals;
};

MailIndex::MailIndex(const std::string& path, Role role) : db_(path) {
    if (role == Role::reader) {
        statements_ = std::make_unique<Statements>(db_);
        return;
    }
    int version = schemaVersion(db_);
    if (version > kSchemaVersion) {
        throw std::runtime_error("the index " + path + " was written by a newer version (layout " +
                                 std::to_string(version) + "); give this agent its own --state-dir");
    }
    if (version < kOldestSupportedVersion) {
        sqlite::Transaction rebuild(db_);
        db_.execute(kDropOlderLayout);
        rebuild.commit();
        if (version > 0) {
            logLine("the index " + path + " has an older layout (" + std::to_string(version) +
                    "); building it anew, with new UIDs");
        }
    }
    db_.execute(kSchema);
    statements_ = std::make_unique<Statements>(db_);
}

MailIndex::~MailIndex() = default;

sqlite::Transaction MailIndex::transaction() { return sqlite::Transaction(db_); }

std::int64_t MailIndex::nextUid(const std::string& account) {
    sqlite::Query(statements_->addAccount).bind(1, account).bind(2, firstUidNow()).run();
    sqlite::Query counter(statements_->nextUidOf);
    counter.bind(1, account).step();
    return counter.integer(0);
}

std::uint64_t MailIndex::uidFor(const std::string& account, std::int64_t folder, const std::string& uniqueName,
                                const NewUidSource& source) {
    // A name seen with a reserved UID is mostly new (a mailbox indexed anew):
    // it is given the UID in one statement, without looking it up first; a
    // known one keeps its own, below.
    if (source.reserved && !source.former) {
        sqlite::Query(statements_->addUidIfNew)
            .bind(1, folder)
            .bind(2, uniqueName)
            .bind(3, static_cast<std::int64_t>(*source.reserved))
            .run();
        if (db_.changes() > 0) {
            return *source.reserved;
        }
    }
    {
        sqlite::Query lookup(statements_->uidOf);
        if (lookup.bind(1, folder).bind(2, uniqueName).step()) {
            return static_cast<std::uint64_t>(lookup.integer(0));
        }
    }
    if (source.former) {
        sqlite::Query(statements_->renameUid)
            .bind(1, folder)
            .bind(2, static_cast<std::int64_t>(*source.former))
            .bind(3, uniqueName)
            .run();
        return *source.former;
    }
    std::int64_t uid = nextUid(account);
    sqlite::Query(statements_->addUid).bind(1, folder).bind(2, uniqueName).bind(3, uid).run();
    sqlite::Query(statements_->raiseNextUid).bind(1, account).bind(2, uid + 1).run();
    return static_cast<std::uint64_t>(uid);
}

std::uint64_t MailIndex::reserveUids(const std::string& account, std::size_t count) {
    std::int64_t first = nextUid(account);
    sqlite::Query(statements_->raiseNextUid).bind(1, account).bind(2, first + static_cast<std::int64_t>(count)).run();
    return static_cast<std::uint64_t>(first);
}

std::optional<std::string> MailIndex::uniqueNameOf(std::int64_t folder, std::uint64_t uid) {
    sqlite::Query query(statements_->nameOf);
    if (!query.bind(1, folder).bind(2, static_cast<std::int64_t>(uid)).step()) {
        return std::nullopt;
    }
    return query.text(0);
}

std::int64_t MailIndex::folderId(const std::string& account, const std::string& folderPath) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        {
            sqlite::Query lookup(statements_->folderOf);
            if (lookup.bind(1, account).bind(2, folderPath).step()) {
                return lookup.integer(0);
            }
        }
        sqlite::Query(statements_->addFolder).bind(1, account).bind(2, folderPath).run();
    }
    throw std::runtime_error("index database: cannot add the folder " + folderPath);
}

DirectoryStamps MailIndex::stamps(std::int64_t folder) {
    sqlite::Query query(statements_->stampsOf);
    DirectoryStamps stamps;
    if (query.bind(1, folder).step()) {
        stamps.cur = query.integer(0);
        stamps.incoming = query.integer(1);
    }
    return stamps;
}

void MailIndex::setStamps(std::int64_t folder, const DirectoryStamps& stamps) {
    sqlite::Query(statements_->setStamps).bind(1, folder).bind(2, stamps.cur).bind(3, stamps.incoming).run();
}

void MailIndex::forEachName(std::int64_t folder, MailDirectory dir,
                            const std::function<void(std::string_view)>& visit) {
    sqlite::Query query(statements_->names);
    query.bind(1, folder).bind(2, static_cast<std::int64_t>(dir));
    while (query.step()) {
        visit(query.textView(0));
    }
}

std::optional<IndexedMessage> MailIndex::byName(std::int64_t folder, MailDirectory dir, const std::string& name) {
    sqlite::Query query(statements_->byName);
    if (!query.bind(1, folder).bind(2, static_cast<std::int64_t>(dir)).bind(3, name).step()) {
        return std::nullopt;
    }
    return messageFrom(query);
}

void MailIndex::insert(std::int64_t folder, const IndexedMessage& message) {
    sqlite::Query(statements_->insert)
        .bind(1, folder)
        .bind(parameterOf(dir), static_cast<std::int64_t>(message.dir))
        .bind(parameterOf(name), message.name)
        .bind(parameterOf(uid), static_cast<std::int64_t>(message.uid))
        .bind(parameterOf(seen), std::int64_t{message.seen})
        .bind(parameterOf(time), message.time)
        .bind(parameterOf(sender), message.from)
        .bind(parameterOf(senderName), message.fromName)
        .bind(parameterOf(subject), message.subject)
        .bind(parameterOf(date), message.date)
        .bindTextOrNull(parameterOf(snippet), message.snippet)
        .bind(parameterOf(attachments), std::int64_t{message.hasAttachments})
        .bind(parameterOf(messageId), message.messageId)
        .run();
}

void MailIndex::remove(std::int64_t folder, MailDirectory dir, const std::string& name) {
    sqlite::Query(statements_->remove).bind(1, folder).bind(2, static_cast<std::int64_t>(dir)).bind(3, name).run();
}

std::optional<bool> MailIndex::seenOf(std::int64_t folder, MailDirectory dir, const std::string& name) {
    sqlite::Query query(statements_->seenOf);
    if (!query.bind(1, folder).bind(2, static_cast<std::int64_t>(dir)).bind(3, name).step()) {
        return std::nullopt;
    }
    return query.integer(0) != 0;
}

void MailIndex::addToTotals(std::int64_t folder, int total, int unread) {
    sqlite::Query(statements_->addToTotals).bind(1, folder).bind(2, total).bind(3, unread).run();
}

void MailIndex::countMessages(std::int64_t folder) { sqlite::Query(statements_->count).bind(1, folder).run(); }

FolderTotals MailIndex::totals(std::int64_t folder) {
    sqlite::Query query(statements_->totals);
    if (!query.bind(1, folder).step()) {
        return {};
    }
    return {static_cast<std::size_t>(query.integer(0)), static_cast<std::size_t>(query.integer(1))};
}

std::vector<IndexedMessage> MailIndex::newest(std::int64_t folder, std::size_t limit) {
    sqlite::Query query(statements_->newest);
    query.bind(1, folder).bind(2, static_cast<std::int64_t>(limit));
    std::vector<IndexedMessage> messages;
    while (query.step()) {
        messages.push_back(messageFrom(query));
    }
    return messages;
}

std::optional<IndexedMessage> MailIndex::byUid(std::int64_t folder, std::uint64_t uid) {
    sqlite::Query query(statements_->byUid);
    if (!query.bind(1, folder).bind(2, static_cast<std::int64_t>(uid)).step()) {
        return std::nullopt;
    }
    return messageFrom(query);
}

void MailIndex::setBodySummary(std::int64_t folder, const IndexedMessage& message) {
    sqlite::Query(statements_->setBody)
        .bind(1, folder)
        .bind(2, static_cast<std::int64_t>(message.dir))
        .bind(3, message.name)
        .bind(4, message.snippet.value_or(""))
        .bind(5, std::int64_t{message.hasAttachments})
        .run();
}

}  // namespace quillbrook::dev_agent
