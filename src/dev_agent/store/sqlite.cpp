#include "dev_agent/store/sqlite.h"

#include <stdexcept>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "util/io.h"
#include "util/unique_fd.h"

namespace quillbrook::dev_agent::sqlite {

namespace {

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error("index database: " + what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement_,
                           nullptr) != SQLITE_OK) {
        fail(db, "cannot prepare \"" + std::string(sql) + "\"");
    }
}

Statement::~Statement() { sqlite3_finalize(statement_); }

Query::~Query() {
    sqlite3_reset(statement_.statement_);
    sqlite3_clear_bindings(statement_.statement_);
}

Query& Query::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_.statement_, index, value) != SQLITE_OK) {
        fail(statement_.db_, "cannot bind a value");
    }
    return *this;
}

Query& Query::bind(int index, std::string_view text) {
    if (sqlite3_bind_text(statement_.statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK) {
        fail(statement_.db_, "cannot bind a value");
    }
    return *this;
}

Query& Query::bindTextOrNull(int index, const std::optional<std::string>& text) {
    if (text) {
        return bind(index, std::string_view(*text));
    }
    if (sqlite3_bind_null(statement_.statement_, index) != SQLITE_OK) {
        fail(statement_.db_, "cannot bind a value");
    }
    return *this;
}

bool Query::step() {
    int result = sqlite3_step(statement_.statement_);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result == SQLITE_DONE) {
        return false;
    }
    fail(statement_.db_, "\"" + std::string(sqlite3_sql(statement_.statement_)) + "\" failed");
}

std::int64_t Query::integer(int column) const { return sqlite3_column_int64(statement_.statement_, column); }

std::string Query::text(int column) const { return std::string(textView(column)); }

std::string_view Query::textView(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_.statement_, column);
    return text == nullptr
               ? std::string_view()
               : std::string_view(reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(statement_.statement_, column)));
}

bool Query::isNull(int column) const { return sqlite3_column_type(statement_.statement_, column) == SQLITE_NULL; }

Database::Database(const std::string& path) {
    // The index holds senders, subjects and snippets: it is for its user alone.
    // SQLite gives the journal files it creates the database's mode; those an
    // earlier version left readable are closed to others too.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::string file = path + suffix;
        int create = *suffix == '\0' ? O_CREAT : 0;
        UniqueFd fd(::open(file.c_str(), O_RDWR | create | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        if (!fd.valid() && !(create == 0 && errno == ENOENT)) {
            throwErrno("cannot open the index " + file);
        }
        if (fd.valid() && ::fchmod(fd.get(), 0600) != 0) {
            throwErrno("cannot make the index " + file + " private");
        }
    }
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string message = "cannot open " + path;
        sqlite3* failed = db_;
        db_ = nullptr;
        try {
            fail(failed, message);
        } catch (...) {
            sqlite3_close(failed);
            throw;
        }
    }
    // Another process holding the write lock briefly is waited for, not failed.
    sqlite3_busy_timeout(db_, 5000);
}

Database::~Database() { sqlite3_close(db_); }

int Database::changes() const { return sqlite3_changes(db_); }

void Database::execute(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message != nullptr ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error(std::string("index database: \"") + sql + "\" failed: " + text);
    }
}

Transaction::Transaction(Database& db) : db_(db) { db_.execute("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (open_) {
        try {
            db_.execute("ROLLBACK");
        } catch (...) {
            // The connection may already have rolled back on its own.
        }
    }
}

void Transaction::commit() {
    db_.execute("COMMIT");
    open_ = false;
}

}  // namespace quillbrook::dev_agent::sqlite
