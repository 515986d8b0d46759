#include "dev_agent/store/mail_index.h"

namespace quillbrook::dev_agent {

namespace {

// Version 1 of the layout; a later layout changes user_version and migrates.
constexpr const char* kSchema = R"(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
CREATE TABLE IF NOT EXISTS accounts (
  account TEXT PRIMARY KEY,
  next_uid INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS uids (
  account TEXT NOT NULL,
  name TEXT NOT NULL,
  uid INTEGER NOT NULL,
  PRIMARY KEY (account, name)
) WITHOUT ROWID;
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
CREATE TABLE IF NOT EXISTS messages (
  folder INTEGER NOT NULL,
  dir INTEGER NOT NULL,
  name TEXT NOT NULL,
  uid INTEGER NOT NULL,
  readable INTEGER NOT NULL,
  seen INTEGER NOT NULL,
  time INTEGER NOT NULL,
  sender TEXT NOT NULL,
  sender_name TEXT NOT NULL,
  subject TEXT NOT NULL,
  date TEXT NOT NULL,
  snippet TEXT,
  attachments INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (folder, dir, name)
);
CREATE INDEX IF NOT EXISTS messages_newest ON messages (folder, readable, time DESC, uid DESC, seen);
CREATE INDEX IF NOT EXISTS messages_by_uid ON messages (folder, uid);
PRAGMA user_version = 1;
)";

constexpr const char* kMessageColumns =
    "dir, name, uid, readable, seen, time, sender, sender_name, subject, date, snippet, attachments";

IndexedMessage messageFrom(const sqlite::Statement& row) {
    IndexedMessage message;
    message.dir = static_cast<MailDirectory>(row.integer(0));
    message.name = row.text(1);
    message.uid = static_cast<std::uint64_t>(row.integer(2));
    message.readable = row.integer(3) != 0;
    message.seen = row.integer(4) != 0;
    message.time = row.integer(5);
    message.from = row.text(6);
    message.fromName = row.text(7);
    message.subject = row.text(8);
    message.date = row.text(9);
    if (!row.isNull(10)) {
        message.snippet = row.text(10);
    }
    message.hasAttachments = row.integer(11) != 0;
    return message;
}

}  // namespace

struct MailIndex::Statements {
    explicit Statements(sqlite::Database& db)
        : accountKnown(db.prepare("SELECT next_uid FROM accounts WHERE account = ?1")),
          addAccount(db.prepare("INSERT OR IGNORE INTO accounts (account, next_uid) VALUES (?1, 1)")),
          raiseNextUid(db.prepare("UPDATE accounts SET next_uid = max(next_uid, ?2) WHERE account = ?1")),
          uidOf(db.prepare("SELECT uid FROM uids WHERE account = ?1 AND name = ?2")),
          addUid(db.prepare("INSERT OR IGNORE INTO uids (account, name, uid) VALUES (?1, ?2, ?3)")),
          folderOf(db.prepare("SELECT id FROM folders WHERE account = ?1 AND path = ?2")),
          addFolder(db.prepare("INSERT INTO folders (account, path) VALUES (?1, ?2)")),
          stampsOf(db.prepare("SELECT cur_stamp, new_stamp FROM folders WHERE id = ?1")),
          setStamps(db.prepare("UPDATE folders SET cur_stamp = ?2, new_stamp = ?3 WHERE id = ?1")),
          names(db.prepare("SELECT name FROM messages WHERE folder = ?1 AND dir = ?2")),
          insert(db.prepare(std::string("INSERT OR REPLACE INTO messages (folder, ") + kMessageColumns +
                            ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)")),
          remove(db.prepare("DELETE FROM messages WHERE folder = ?1 AND dir = ?2 AND name = ?3")),
          totals(db.prepare("SELECT total, unread FROM folders WHERE id = ?1")),
          count(db.prepare("UPDATE folders SET (total, unread) = (SELECT count(*), coalesce(sum(seen = 0), 0) "
                           "FROM messages WHERE folder = ?1 AND readable = 1) WHERE id = ?1")),
          newest(db.prepare(std::string("SELECT ") + kMessageColumns +
                            " FROM messages WHERE folder = ?1 AND readable = 1 "
                            "ORDER BY time DESC, uid DESC LIMIT ?2")),
          byUid(db.prepare(std::string("SELECT ") + kMessageColumns +
                           " FROM messages WHERE folder = ?1 AND uid = ?2 AND readable = 1")),
          setBody(db.prepare("UPDATE messages SET snippet = ?4, attachments = ?5 "
                             "WHERE folder = ?1 AND dir = ?2 AND name = ?3")) {}

    std::unique_ptr<sqlite::Statement> accountKnown, addAccount, raiseNextUid, uidOf, addUid, folderOf, addFolder,
        stampsOf, setStamps, names, insert, remove, totals, count, newest, byUid, setBody;
};

MailIndex::MailIndex(const std::string& path) : db_(path) {
    db_.execute(kSchema);
    statements_ = std::make_unique<Statements>(db_);
}

MailIndex::~MailIndex() = default;

std::int64_t MailIndex::nextUid(const std::string& account) {
    statements_->addAccount->bind(1, account).run();
    auto& counter = *statements_->accountKnown;
    counter.bind(1, account).step();
    std::int64_t uid = counter.integer(0);
    counter.reset();
    return uid;
}

bool MailIndex::knowsAccount(const std::string& account) {
    auto& query = *statements_->accountKnown;
    bool known = query.bind(1, account).step();
    query.reset();
    return known;
}

void MailIndex::importUids(const std::string& account, std::uint64_t nextUid,
                           const std::map<std::string, std::uint64_t>& uids) {
    statements_->addAccount->bind(1, account).run();
    for (const auto& [name, uid] : uids) {
        statements_->addUid->bind(1, account).bind(2, name).bind(3, static_cast<std::int64_t>(uid)).run();
    }
    statements_->raiseNextUid->bind(1, account).bind(2, static_cast<std::int64_t>(nextUid)).run();
}

std::uint64_t MailIndex::uidFor(const std::string& account, const std::string& uniqueName) {
    auto& lookup = *statements_->uidOf;
    if (lookup.bind(1, account).bind(2, uniqueName).step()) {
        auto uid = static_cast<std::uint64_t>(lookup.integer(0));
        lookup.reset();
        return uid;
    }
    lookup.reset();
    std::int64_t uid = nextUid(account);
    statements_->addUid->bind(1, account).bind(2, uniqueName).bind(3, uid).run();
    statements_->raiseNextUid->bind(1, account).bind(2, uid + 1).run();
    return static_cast<std::uint64_t>(uid);
}

std::int64_t MailIndex::folderId(const std::string& account, const std::string& folderPath) {
    auto& lookup = *statements_->folderOf;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (lookup.bind(1, account).bind(2, folderPath).step()) {
            std::int64_t id = lookup.integer(0);
            lookup.reset();
            return id;
        }
        lookup.reset();
        statements_->addFolder->bind(1, account).bind(2, folderPath).run();
    }
    throw std::runtime_error("index database: cannot add the folder " + folderPath);
}

DirectoryStamps MailIndex::stamps(std::int64_t folder) {
    auto& query = *statements_->stampsOf;
    DirectoryStamps stamps;
    if (query.bind(1, folder).step()) {
        stamps.cur = query.integer(0);
        stamps.fresh = query.integer(1);
    }
    query.reset();
    return stamps;
}

void MailIndex::setStamps(std::int64_t folder, const DirectoryStamps& stamps) {
    statements_->setStamps->bind(1, folder).bind(2, stamps.cur).bind(3, stamps.fresh).run();
}

std::vector<std::string> MailIndex::names(std::int64_t folder, MailDirectory dir) {
    auto& query = *statements_->names;
    query.bind(1, folder).bind(2, static_cast<std::int64_t>(dir));
    std::vector<std::string> names;
    while (query.step()) {
        names.push_back(query.text(0));
    }
    query.reset();
    return names;
}

void MailIndex::insert(std::int64_t folder, const IndexedMessage& message) {
    auto& statement = *statements_->insert;
    statement.bind(1, folder)
        .bind(2, static_cast<std::int64_t>(message.dir))
        .bind(3, message.name)
        .bind(4, static_cast<std::int64_t>(message.uid))
        .bind(5, std::int64_t{message.readable})
        .bind(6, std::int64_t{message.seen})
        .bind(7, message.time)
        .bind(8, message.from)
        .bind(9, message.fromName)
        .bind(10, message.subject)
        .bind(11, message.date)
        .bind(13, std::int64_t{message.hasAttachments});
    if (message.snippet) {
        statement.bind(12, *message.snippet);
    }
    statement.run();
}

void MailIndex::remove(std::int64_t folder, MailDirectory dir, const std::string& name) {
    statements_->remove->bind(1, folder).bind(2, static_cast<std::int64_t>(dir)).bind(3, name).run();
}

void MailIndex::countMessages(std::int64_t folder) { statements_->count->bind(1, folder).run(); }

FolderTotals MailIndex::totals(std::int64_t folder) {
    auto& query = *statements_->totals;
    FolderTotals totals;
    if (query.bind(1, folder).step()) {
        totals = {static_cast<std::size_t>(query.integer(0)), static_cast<std::size_t>(query.integer(1))};
    }
    query.reset();
    return totals;
}

std::vector<IndexedMessage> MailIndex::newest(std::int64_t folder, std::size_t limit) {
    auto& query = *statements_->newest;
    query.bind(1, folder).bind(2, static_cast<std::int64_t>(limit));
    std::vector<IndexedMessage> messages;
    while (query.step()) {
        messages.push_back(messageFrom(query));
    }
    query.reset();
    return messages;
}

std::optional<IndexedMessage> MailIndex::byUid(std::int64_t folder, std::uint64_t uid) {
    auto& query = *statements_->byUid;
    std::optional<IndexedMessage> found;
    if (query.bind(1, folder).bind(2, static_cast<std::int64_t>(uid)).step()) {
        found = messageFrom(query);
    }
    query.reset();
    return found;
}

void MailIndex::setBodySummary(std::int64_t folder, const IndexedMessage& message) {
    statements_->setBody->bind(1, folder)
        .bind(2, static_cast<std::int64_t>(message.dir))
        .bind(3, message.name)
        .bind(4, message.snippet.value_or(""))
        .bind(5, std::int64_t{message.hasAttachments})
        .run();
}

}  // namespace quillbrook::dev_agent
