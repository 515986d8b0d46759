#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quillbrook::dev_agent::sqlite {

// Thin owners of an SQLite connection and its prepared statements: they close
// what they own and turn every failing call into a std::runtime_error that
// names the database's own message.

class Query;

// A prepared statement, kept for reuse; it is run through a Query.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

private:
    friend class Query;
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

// One run of a statement: binds its values, steps through its rows, and
// clears the bindings and rewinds the statement when it ends, however it
// ends, so that an exception never leaves the statement busy or a value bound
// for the next run.
class Query {
public:
    explicit Query(Statement& statement) : statement_(statement) {}
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // Binds values to ?1, ?2, ... (1-based, as SQLite counts).
    Query& bind(int index, std::int64_t value);
    Query& bind(int index, std::string_view text);
    Query& bindTextOrNull(int index, const std::optional<std::string>& text);

    // Steps once: true while a row is there to read.
    bool step();
    // Runs a statement that returns no rows.
    void run() { step(); }

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    // The text of the current row, valid until the next step.
    std::string_view textView(int column) const;
    bool isNull(int column) const;

private:
    Statement& statement_;
};

class Database {
public:
    // Opens (creating when missing) the database file at `path`.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs one or more statements that return no rows.
    void execute(const char* sql);
    Statement prepare(std::string_view sql) { return Statement(db_, sql); }
    // The rows the last finished INSERT, UPDATE or DELETE changed.
    int changes() const;

private:
    sqlite3* db_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT around one batch of changes; rolls back when the
// batch ends by an exception.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& db_;
    bool open_ = true;
};

}  // namespace quillbrook::dev_agent::sqlite
