// The fleet store in a PostgreSQL database (one server, or a coordinator
// over shards), through libpq.
#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <map>

#include "engine.h"

namespace zel_fleet {
namespace {

// Type ids of pg_type (catalog/pg_type_d.h, part of the server's headers).
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kText = 25;
constexpr Oid kFloat8 = 701;

// The primary line of the server's error, or libpq's own message's first line.
std::string ErrorOf(PGconn* conn, const PGresult* result) {
  const char* primary =
      result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string text = primary != nullptr ? primary : PQerrorMessage(conn);
  text.resize(std::min(text.size(), text.find('\n')));
  return text.empty() ? "PostgreSQL error" : text;
}

class PostgresEngine final : public Engine {
public:
  explicit PostgresEngine(PGconn* conn) : conn_(conn) {}
  ~PostgresEngine() override { PQfinish(conn_); }

  std::string Begin() override { return Script("BEGIN"); }
  std::string Commit() override { return Script("COMMIT"); }
  void Rollback() override {
    Flush();
    PQclear(PQexec(conn_, "ROLLBACK"));
  }

  std::string Script(const char* sql) override {
    std::string error = Flush();
    if (!error.empty()) return error;
    PGresult* result = PQexec(conn_, sql);
    error = Check(result);
    PQclear(result);
    return error;
  }

  std::string Run(const char* sql, const std::vector<Value>& params,
                  std::vector<Row>* rows) override {
    if (rows != nullptr) rows->clear();
    std::vector<std::string> text(params.size());
    std::vector<const char*> values(params.size(), nullptr);
    std::vector<Oid> types(params.size(), kText);
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i].kind == Value::Kind::kInteger) {
        text[i] = std::to_string(params[i].integer);
        types[i] = kInt8;
      } else if (params[i].kind == Value::Kind::kText) {
        text[i] = params[i].text;
      }
      if (params[i].kind != Value::Kind::kNull) values[i] = text[i].c_str();
    }
    // A statement that returns nothing is sent on without waiting for it
    // (libpq's pipeline mode): a batch costs a round trip a session, not a
    // row.
    if (rows == nullptr) return Send(sql, values, types);
    std::string error = Flush();
    if (!error.empty()) return error;
    // Each statement is parsed and planned once per connection.
    auto known = prepared_.find(sql);
    if (known == prepared_.end()) {
      const std::string name = "zel" + std::to_string(names_++);
      PGresult* result =
          PQprepare(conn_, name.c_str(), sql, static_cast<int>(params.size()), types.data());
      error = Check(result);
      PQclear(result);
      if (!error.empty()) return error;
      known = prepared_.emplace(sql, name).first;
    }
    PGresult* result = PQexecPrepared(conn_, known->second.c_str(), static_cast<int>(params.size()),
                                      values.data(), nullptr, nullptr, 0);
    error = Check(result);
    if (error.empty()) error = Read(result, *rows);
    PQclear(result);
    return error;
  }

  std::string HasSchema(bool& has) override {
    std::vector<Row> rows;
    std::string error =
        Run("SELECT COUNT(*) FROM information_schema.tables "
            "WHERE table_name = 'zel_schema' AND table_schema = current_schema()",
            {}, &rows);
    has = error.empty() && rows[0][0].integer != 0;
    return error;
  }

  std::string Flush() override {
    if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF) return "";
    std::string first;
    if (PQpipelineSync(conn_) != 1) first = ErrorOf(conn_, nullptr);
    // Each statement's result, then a null, then the sync's own result.
    while (PQstatus(conn_) == CONNECTION_OK) {
      PGresult* result = PQgetResult(conn_);
      if (result == nullptr) continue;
      const ExecStatusType status = PQresultStatus(result);
      if (status == PGRES_PIPELINE_SYNC) {
        PQclear(result);
        break;
      }
      const std::string error = status == PGRES_PIPELINE_ABORTED ? "" : Check(result);
      if (first.empty()) first = error;
      PQclear(result);
    }
    if (PQstatus(conn_) != CONNECTION_OK && first.empty()) first = ErrorOf(conn_, nullptr);
    PQexitPipelineMode(conn_);
    // After an error the server skipped the rest: prepare those again.
    if (!first.empty())
      for (const char* sql : sentPrepares_) prepared_.erase(sql);
    sentPrepares_.clear();
    return first;
  }

  bool Retryable() const override {
    // unique_violation, serialization_failure, deadlock_detected
    return state_ == "23505" || state_ == "40001" || state_ == "40P01";
  }

private:
  std::string Check(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
      state_.clear();
      return "";
    }
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    state_ = state != nullptr ? state : "";
    return ErrorOf(conn_, result);
  }

  std::string Send(const char* sql, const std::vector<const char*>& values,
                   const std::vector<Oid>& types) {
    if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn_) != 1)
      return ErrorOf(conn_, nullptr);
    auto known = prepared_.find(sql);
    if (known == prepared_.end()) {
      const std::string name = "zel" + std::to_string(names_++);
      if (PQsendPrepare(conn_, name.c_str(), sql, static_cast<int>(types.size()), types.data()) !=
          1)
        return ErrorOf(conn_, nullptr);
      known = prepared_.emplace(sql, name).first;
      sentPrepares_.push_back(sql);
    }
    if (PQsendQueryPrepared(conn_, known->second.c_str(), static_cast<int>(values.size()),
                            values.data(), nullptr, nullptr, 0) != 1)
      return ErrorOf(conn_, nullptr);
    return "";
  }

  static std::string Read(const PGresult* result, std::vector<Row>& rows) {
    const int columns = PQnfields(result);
    for (int r = 0; r < PQntuples(result); ++r) {
      Row row(static_cast<std::size_t>(columns));
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(result, r, c) != 0) continue;
        const char* text = PQgetvalue(result, r, c);
        const char* end = text + PQgetlength(result, r, c);
        Value& v = row[static_cast<std::size_t>(c)];
        const Oid type = PQftype(result, c);
        std::from_chars_result parsed{end, std::errc{}};
        if (type == kInt8 || type == kInt4 || type == kInt2) {
          v.kind = Value::Kind::kInteger;
          parsed = std::from_chars(text, end, v.integer);
        } else if (type == kFloat8) {
          // The server writes the shortest text that reads back to the same
          // double (extra_float_digits > 0); from_chars reads it exactly.
          v.kind = Value::Kind::kReal;
          parsed = std::from_chars(text, end, v.real);
        } else {
          v = Value::Text(std::string(text, end));
        }
        if (parsed.ec != std::errc{} || parsed.ptr != end) {
          return "cannot read the server's value " + std::string(text, end);
        }
      }
      rows.push_back(std::move(row));
    }
    return "";
  }

  PGconn* conn_;
  std::string state_;
  std::map<const char*, std::string> prepared_;
  std::vector<const char*> sentPrepares_;  // prepared in the pipeline under way
  int names_ = 0;
};

}  // namespace

std::unique_ptr<Engine> OpenPostgres(const std::string& url, std::string& error) {
  PGconn* conn = PQconnectdb(url.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    error = ErrorOf(conn, nullptr);
    PQfinish(conn);
    return nullptr;
  }
  PGresult* result = PQexec(conn, "SET extra_float_digits = 3");
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  if (!ok) {
    error = ErrorOf(conn, nullptr);
    PQfinish(conn);
    return nullptr;
  }
  return std::make_unique<PostgresEngine>(conn);
}

}  // namespace zel_fleet
