#include "core/runs/sqlite_db.h"

#include <sqlite3.h>

#include <utility>

namespace tesselwick::sqlite {

namespace {

std::string Describe(sqlite3* db, int code) {
  // The connection's message is the more telling one when it belongs to
  // this failure; without a connection only the code's words are known.
  if (db != nullptr && (sqlite3_errcode(db) & 0xff) == (code & 0xff)) return sqlite3_errmsg(db);
  return sqlite3_errstr(code);
}

}  // namespace

bool Error::Busy() const { return code_ == SQLITE_BUSY || code_ == SQLITE_LOCKED; }

bool Error::NotADatabase() const { return code_ == SQLITE_NOTADB || code_ == SQLITE_CORRUPT; }

Database::Database(const std::string& utf8Path, Mode mode) {
  const int flags =
      (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  const int code = sqlite3_open_v2(utf8Path.c_str(), &db_, flags, nullptr);
  if (code != SQLITE_OK) {
    const std::string what = Describe(db_, code);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw Error(code & 0xff, what);
  }
}

Database::~Database() { sqlite3_close_v2(db_); }

Database::Database(Database&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    sqlite3_close_v2(db_);
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

void Database::Fail(int code) const { throw Error(code & 0xff, Describe(db_, code)); }

void Database::Execute(std::string_view sql) {
  const std::string text(sql);
  const int code = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) Fail(code);
}

Statement Database::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  const int code = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (code != SQLITE_OK) Fail(code);
  return Statement(db_, stmt);
}

void Database::SetBusyTimeout(int milliseconds) {
  const int code = sqlite3_busy_timeout(db_, milliseconds);
  if (code != SQLITE_OK) Fail(code);
}

std::int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Database::Changes() const { return sqlite3_changes(db_); }

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    db_ = other.db_;
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

void Statement::Fail(int code) const { throw Error(code & 0xff, Describe(db_, code)); }

Statement& Statement::Bind(int index, std::int64_t value) {
  const int code = sqlite3_bind_int64(stmt_, index, value);
  if (code != SQLITE_OK) Fail(code);
  return *this;
}

Statement& Statement::Bind(int index, double value) {
  const int code = sqlite3_bind_double(stmt_, index, value);
  if (code != SQLITE_OK) Fail(code);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view value) {
  const int code =
      sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (code != SQLITE_OK) Fail(code);
  return *this;
}

Statement& Statement::BindNull(int index) {
  const int code = sqlite3_bind_null(stmt_, index);
  if (code != SQLITE_OK) Fail(code);
  return *this;
}

bool Statement::Step() {
  const int code = sqlite3_step(stmt_);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  // The statement is left ready again, so that a caller who goes on after
  // the failure can use it.
  sqlite3_reset(stmt_);
  Fail(code);
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

void Statement::Reset() { sqlite3_reset(stmt_); }

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::Real(int column) const { return sqlite3_column_double(stmt_, column); }

std::string Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  const int size = sqlite3_column_bytes(stmt_, column);
  return text ? std::string(text, static_cast<std::size_t>(size)) : std::string();
}

std::optional<std::int64_t> Statement::OptionalInt(int column) const {
  if (IsNull(column)) return std::nullopt;
  return Int(column);
}

std::optional<double> Statement::OptionalReal(int column) const {
  if (IsNull(column)) return std::nullopt;
  return Real(column);
}

Transaction::Transaction(Database& db, Kind kind) : db_(db) {
  db_.Execute(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (!open_) return;
  // A rollback can fail only when nothing is left to roll back.
  sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  db_.Execute("COMMIT");
  open_ = false;
}

}  // namespace tesselwick::sqlite
