#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A small owner of SQLite's C API: a connection, its prepared statements and
// its transactions, each closed or ended by its destructor. Every failure of
// SQLite is thrown as sqlite::Error with SQLite's primary result code, so a
// caller catches at the one place where it decides what a failure means.
namespace tesselwick::sqlite {

class Error : public std::runtime_error {
 public:
  Error(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  // SQLite's primary result code (SQLITE_BUSY, SQLITE_NOTADB, ...).
  int Code() const { return code_; }
  // The database was locked by another connection for longer than the busy
  // timeout.
  bool Busy() const;
  // The file is not a database, or one that is damaged.
  bool NotADatabase() const;

 private:
  int code_;
};

class Statement;

class Database {
 public:
  enum class Mode { ReadWriteCreate, ReadOnly };
  // Opens the database file at `utf8Path` (created when missing in
  // ReadWriteCreate mode). Nothing of the file is read yet: a file that is
  // not a database is found by the first statement.
  Database(const std::string& utf8Path, Mode mode);
  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs statements that take no parameters and whose rows are not wanted.
  void Execute(std::string_view sql);
  Statement Prepare(std::string_view sql);
  // How long a statement waits for another connection's lock before it
  // fails as busy.
  void SetBusyTimeout(int milliseconds);
  std::int64_t LastInsertId() const;
  // Rows changed by the latest INSERT, UPDATE or DELETE.
  int Changes() const;

  sqlite3* Handle() const { return db_; }

 private:
  [[noreturn]] void Fail(int code) const;
  sqlite3* db_ = nullptr;
};

// A prepared statement: bind its parameters (1-based), step through its rows,
// read the columns of the current row (0-based), reset it for the next use.
class Statement {
 public:
  Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, int value) { return Bind(index, std::int64_t{value}); }
  Statement& Bind(int index, double value);
  // The text is copied by SQLite.
  Statement& Bind(int index, std::string_view value);
  Statement& Bind(int index, const char* value) { return Bind(index, std::string_view(value)); }
  Statement& Bind(int index, const std::string& value) {
    return Bind(index, std::string_view(value));
  }
  Statement& BindNull(int index);
  template <typename T>
  Statement& Bind(int index, const std::optional<T>& value) {
    return value ? Bind(index, *value) : BindNull(index);
  }

  // True when a row is ready, false once the statement is done.
  bool Step();
  // Steps a statement that gives no rows, then resets it for the next use.
  void Run();
  // Ready for the next use; the bound values stay until bound again.
  void Reset();

  bool IsNull(int column) const;
  std::int64_t Int(int column) const;
  double Real(int column) const;
  std::string Text(int column) const;
  std::optional<std::int64_t> OptionalInt(int column) const;
  std::optional<double> OptionalReal(int column) const;

 private:
  [[noreturn]] void Fail(int code) const;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// A transaction, rolled back unless committed. One that writes takes the
// write lock at once (BEGIN IMMEDIATE), so that waiting for another
// connection happens here, within the busy timeout, and never half-way
// through; one that reads sees one snapshot of the file throughout.
class Transaction {
 public:
  enum class Kind { Write, Read };
  explicit Transaction(Database& db, Kind kind = Kind::Write);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool open_ = true;
};

}  // namespace tesselwick::sqlite
