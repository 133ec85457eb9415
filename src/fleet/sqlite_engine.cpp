// The fleet store in an SQLite file.
#include <sqlite3.h>

#include <map>

#include "engine.h"

namespace zel_fleet {
namespace {

// Another process writing the same file holds its lock for one batch; wait
// that long rather than fail.
constexpr int kBusyTimeoutMs = 60000;

class SqliteEngine final : public Engine {
public:
  explicit SqliteEngine(sqlite3* db) : db_(db) {}

  ~SqliteEngine() override {
    for (auto& entry : statements_) sqlite3_finalize(entry.second.stmt);
    sqlite3_close(db_);
  }

  // IMMEDIATE takes the write lock first, so that two writers queue on the
  // busy timeout instead of one failing when it upgrades a read lock.
  std::string Begin() override { return Script("BEGIN IMMEDIATE"); }
  std::string Commit() override { return Script("COMMIT"); }
  void Rollback() override {
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  std::string Script(const char* sql) override {
    last_ = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return last_ == SQLITE_OK ? "" : sqlite3_errmsg(db_);
  }

  std::string Run(const char* sql, const std::vector<Value>& params,
                  std::vector<Row>* rows) override {
    if (rows != nullptr) rows->clear();
    Statement& prepared = statements_[sql];
    if (prepared.stmt == nullptr) {
      last_ = sqlite3_prepare_v2(db_, sql, -1, &prepared.stmt, nullptr);
      if (last_ != SQLITE_OK) return sqlite3_errmsg(db_);
      if (prepared.stmt == nullptr) return "an empty statement";
      // $1, $2, ... are named parameters to SQLite: look their places up once.
      for (int i = 1; i <= sqlite3_bind_parameter_count(prepared.stmt); ++i) {
        const std::string name = "$" + std::to_string(i);
        prepared.places.push_back(sqlite3_bind_parameter_index(prepared.stmt, name.c_str()));
      }
    }
    sqlite3_stmt* stmt = prepared.stmt;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const int at = i < prepared.places.size() ? prepared.places[i] : 0;
      if (at == 0) continue;
      const Value& v = params[i];
      switch (v.kind) {
        case Value::Kind::kNull:
          last_ = sqlite3_bind_null(stmt, at);
          break;
        case Value::Kind::kInteger:
          last_ = sqlite3_bind_int64(stmt, at, v.integer);
          break;
        case Value::Kind::kReal:
          last_ = sqlite3_bind_double(stmt, at, v.real);
          break;
        case Value::Kind::kText:
          last_ = sqlite3_bind_text(stmt, at, v.text.data(), static_cast<int>(v.text.size()),
                                    SQLITE_TRANSIENT);
          break;
      }
      if (last_ != SQLITE_OK) return sqlite3_errmsg(db_);
    }
    while ((last_ = sqlite3_step(stmt)) == SQLITE_ROW) {
      if (rows == nullptr) continue;
      Row row(static_cast<std::size_t>(sqlite3_column_count(stmt)));
      for (std::size_t c = 0; c < row.size(); ++c) {
        const int column = static_cast<int>(c);
        switch (sqlite3_column_type(stmt, column)) {
          case SQLITE_INTEGER:
            row[c] = Value::Int(sqlite3_column_int64(stmt, column));
            break;
          case SQLITE_FLOAT:
            row[c].kind = Value::Kind::kReal;
            row[c].real = sqlite3_column_double(stmt, column);
            break;
          case SQLITE_NULL:
            break;
          default:
            row[c] = Value::Text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
        }
      }
      rows->push_back(std::move(row));
    }
    std::string error = last_ == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
    sqlite3_reset(stmt);
    return error;
  }

  std::string HasSchema(bool& has) override {
    std::vector<Row> rows;
    std::string error =
        Run("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'zel_schema'", {},
            &rows);
    has = error.empty() && rows[0][0].integer != 0;
    return error;
  }

  bool Retryable() const override {
    return (last_ & 0xff) == SQLITE_BUSY || last_ == SQLITE_CONSTRAINT_PRIMARYKEY ||
           last_ == SQLITE_CONSTRAINT_UNIQUE;
  }

private:
  sqlite3* db_;
  int last_ = SQLITE_OK;
  struct Statement {
    sqlite3_stmt* stmt = nullptr;
    std::vector<int> places;  // of $1, $2, ...; 0 for one the statement lacks
  };
  std::map<const char*, Statement> statements_;
};

}  // namespace

std::unique_ptr<Engine> OpenSqlite(const std::string& path, std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "cannot open");
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // SQLite's own setting: a page cache of up to 256 MB, taken only as a
  // batch needs it. With the default 2 MB, a batch of thousands of sessions
  // writes the bucket index's pages out again and again before it commits.
  sqlite3_exec(db, "PRAGMA cache_size = -262144", nullptr, nullptr, nullptr);
  return std::make_unique<SqliteEngine>(db);
}

}  // namespace zel_fleet
