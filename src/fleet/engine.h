// The seam between the fleet store's logic and a database engine: run one
// statement with parameters $1, $2, ... and read its rows, in transactions.
// One file per engine (sqlite_engine.cpp, postgres_engine.cpp); the SQL
// itself is in the project's sql/ folder (sql.h).
#ifndef ZELFLEET_ENGINE_H
#define ZELFLEET_ENGINE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zel_fleet {

/// A parameter or a result's column: NULL, an integer, a double or text.
struct Value {
  enum class Kind { kNull, kInteger, kReal, kText } kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0.0;
  std::string text;

  static Value Int(std::int64_t v) { return {Kind::kInteger, v, 0.0, {}}; }
  static Value Text(std::string v) { return {Kind::kText, 0, 0.0, std::move(v)}; }
};

using Row = std::vector<Value>;

class Engine {
public:
  virtual ~Engine() = default;
  /// Each returns "" or the engine's error as one line.
  virtual std::string Begin() = 0;  ///< a transaction that will write
  virtual std::string Commit() = 0;
  virtual void Rollback() = 0;
  /// Several statements without parameters (schema.sql).
  virtual std::string Script(const char* sql) = 0;
  /// One statement; its rows (if `rows` is not null). `sql` is one of the
  /// constants of sql.h, so an engine may keep it prepared by its address.
  /// Without `rows`, an engine may send it on and report its error at the
  /// next Flush or statement that waits for a result.
  virtual std::string Run(const char* sql, const std::vector<Value>& params,
                          std::vector<Row>* rows) = 0;
  /// Waits for the statements an engine may have sent ahead (those run
  /// without `rows`) and returns the first one's error, or "".
  virtual std::string Flush() { return ""; }
  /// Whether the store's tables exist.
  virtual std::string HasSchema(bool& has) = 0;
  /// Whether the last error may pass if the transaction is tried again: a
  /// unique key another process has just stored, a serialization failure.
  virtual bool Retryable() const = 0;
};

std::unique_ptr<Engine> OpenSqlite(const std::string& path, std::string& error);
std::unique_ptr<Engine> OpenPostgres(const std::string& url, std::string& error);

}  // namespace zel_fleet

#endif
