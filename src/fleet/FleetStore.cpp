// The fleet store's logic over the engine seam: what a batch writes, in
// which order, and how the fleet query's row becomes FleetStats.
#include "ZelFleet/FleetStore.h"

#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "engine.h"
#include "sql.h"

namespace zel_fleet {
namespace {

using zel_analysis::FleetStats;
using zel_analysis::FrameSummary;

constexpr std::int64_t kSchemaVersion = 1;
// Buckets written by one statement (256 parameters, within every engine's
// limit).
constexpr std::size_t kBucketsAStatement = 64;

std::int64_t I64(std::uint64_t v) { return static_cast<std::int64_t>(v); }

// The first 63 bits of the key's 64 hex digits.
std::int64_t SessionId(const std::string& key) {
  std::uint64_t id = 0;
  for (std::size_t i = 0; i < 16 && i < key.size(); ++i) {
    const char c = key[i];
    id = id << 4 | static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return static_cast<std::int64_t>(id >> 1);
}

class Store final : public FleetStore {
public:
  explicit Store(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}

  std::string StoreBatch(const std::vector<Session>& sessions, std::size_t* skipped) override {
    std::size_t i = 0;
    return StoreFrom(
        [&](Session& session, bool& done) {
          done = i == sessions.size();
          if (!done) session = sessions[i++];
          return std::string();
        },
        skipped);
  }

  std::string StoreFrom(const SessionSource& next, std::size_t* skipped) override {
    // A concurrent writer storing the same session (or creating the tables)
    // first makes this batch fail on a unique key: once more, it sees them,
    // with the sessions taken from `next` the first time.
    std::vector<Session> taken;
    bool drained = false;
    std::string error;
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::size_t skips = 0;
      bool fromSource = false;
      error = engine_->Begin();
      if (error.empty()) error = Prepare();
      for (std::size_t i = 0; error.empty(); ++i) {
        if (i == taken.size()) {
          if (drained) break;
          taken.emplace_back();
          error = next(taken.back(), drained);
          fromSource = !error.empty();
          if (drained || fromSource) {
            taken.pop_back();
            break;
          }
        }
        error = StoreOne(taken[i], skips);
      }
      if (error.empty()) error = engine_->Commit();
      if (error.empty()) {
        if (skipped != nullptr) *skipped = skips;
        return "";
      }
      engine_->Rollback();
      if (fromSource || !engine_->Retryable()) break;
    }
    return error;
  }

  std::string Fleet(const std::string& tagKey, const std::string& tagValue,
                    FleetStats& out) override {
    out = FleetStats{};
    std::string error = Query(tagKey, tagValue, out);
    if (!error.empty()) {
      out = FleetStats{};  // as FleetStatsOf leaves it: the reason alone
      out.error = error;
    }
    return error;
  }

private:
  // The tables, created with the bucket middles on first use.
  std::string Prepare() {
    bool has = false;
    std::string error = engine_->HasSchema(has);
    if (error.empty() && !has) error = engine_->Script(sql::kSchema);
    std::vector<Row> rows;
    if (error.empty()) error = engine_->Run(sql::kSchemaVersion, {}, &rows);
    if (!error.empty()) return error;
    if (rows.size() != 1 || rows[0][0].integer != kSchemaVersion) {
      return "the store's tables are of another version than this library's (" +
             std::to_string(kSchemaVersion) + ")";
    }
    // A store whose tables were made elsewhere (a sharded one) gets its
    // middles here too.
    error = engine_->Run(sql::kCountBucketMids, {}, &rows);
    if (!error.empty() || rows[0][0].integer != 0) return error;
    for (int scale = zel_analysis::kSummaryMinScale; scale <= zel_analysis::kSummaryMaxScale;
         ++scale) {
      const std::int32_t last = zel_analysis::BucketIndex(zel_analysis::kMaxTotalNs, scale);
      for (std::int32_t index = -1; index <= last && error.empty(); ++index) {
        error = engine_->Run(sql::kInsertBucketMid,
                             {Value::Int(scale), Value::Int(index),
                              Value::Int(zel_analysis::BucketMidNs(index, scale))},
                             nullptr);
      }
    }
    return error;
  }

  std::string StoreOne(const Session& session, std::size_t& skips) {
    const FrameSummary& s = session.summary;
    std::string why = zel_analysis::CheckSummary(s);
    std::set<std::string> keys;
    for (const auto& tag : session.tags) {
      if (why.empty() && !keys.insert(tag.first).second) why = "tag " + tag.first + " given twice";
    }
    if (!why.empty()) return session.file + ": " + why;
    const std::string key = zel_analysis::SessionKey(s);
    const std::int64_t id = SessionId(key);
    std::vector<Row> rows;
    std::string error = engine_->Run(sql::kFindSession, {Value::Int(id)}, &rows);
    if (!error.empty()) return session.file + ": " + error;
    if (!rows.empty()) {
      if (rows[0][0].text != key) {
        return session.file + ": another session is stored under the same id " +
               std::to_string(id) + " (" + rows[0][0].text + ")";
      }
      ++skips;
      return "";
    }
    error = engine_->Run(
        sql::kInsertSession,
        {Value::Int(id), Value::Text(key), Value::Int(s.scale), Value::Int(I64(s.sessions)),
         Value::Int(I64(s.frames)), Value::Int(s.totalNs), Value::Int(s.minNs), Value::Int(s.maxNs),
         Value::Int(I64(s.zeroCount)), Value::Int(I64(s.over[0])), Value::Int(I64(s.over[1])),
         Value::Int(I64(s.over[2])), Value::Int(I64(s.stutters)), Value::Int(s.stutterNs),
         Value::Int(s.jitterNs)},
        nullptr);
    for (std::size_t i = 0; error.empty() && i < session.tags.size(); ++i) {
      error = engine_->Run(
          sql::kInsertTag,
          {Value::Int(id), Value::Text(session.tags[i].first), Value::Text(session.tags[i].second)},
          nullptr);
    }
    std::vector<Value> values;  // four values a bucket, kBucketsAStatement at a time
    for (std::size_t i = 0; error.empty() && i <= s.counts.size(); ++i) {
      if (i < s.counts.size() && s.counts[i] != 0) {
        values.insert(values.end(), {Value::Int(id), Value::Int(s.scale),
                                     Value::Int(s.offset + static_cast<std::int64_t>(i)),
                                     Value::Int(I64(s.counts[i]))});
      }
      const std::size_t n = values.size() / 4;
      if (n == kBucketsAStatement || (i == s.counts.size() && n > 0)) {
        error = engine_->Run(InsertBuckets(n), values, nullptr);
        values.clear();
      }
    }
    // The rows may have been sent on: their errors are this session's.
    const std::string sent = engine_->Flush();
    if (error.empty()) error = sent;
    return error.empty() ? "" : session.file + ": " + error;
  }

  // insert_bucket.sql with its VALUES row repeated for `n` buckets, the
  // parameters numbered on: one statement for many rows saves the engine
  // its work per statement. Kept, so each stays prepared.
  const char* InsertBuckets(std::size_t n) {
    std::string& statement = insertBuckets_[n];
    if (statement.empty()) {
      const std::string single = sql::kInsertBucket;
      const std::size_t values = single.rfind("VALUES") + 6;
      statement = single.substr(0, values);
      for (std::size_t row = 0; row < n; ++row) {
        statement += row == 0 ? " (" : ", (";
        for (std::size_t column = 1; column <= 4; ++column)
          statement += (column > 1 ? ", $" : "$") + std::to_string(4 * row + column);
        statement += ')';
      }
    }
    return statement.c_str();
  }

  std::string Query(const std::string& tagKey, const std::string& tagValue, FleetStats& out) {
    bool has = false;
    std::string error = engine_->HasSchema(has);
    if (!error.empty()) return error;
    if (!has) return "no sessions";
    std::vector<Row> rows;
    const std::vector<Value> params =
        tagKey.empty() ? std::vector<Value>{Value{}, Value{}}
                       : std::vector<Value>{Value::Text(tagKey), Value::Text(tagValue)};
    error = engine_->Run(sql::kFleet, params, &rows);
    if (!error.empty()) return error;
    if (rows.empty())
      return "no sessions" + (tagKey.empty() ? "" : " with the tag " + tagKey + "=" + tagValue);
    const Row& r = rows[0];
    std::size_t c = 0;
    const auto integer = [&] { return r[c++].integer; };
    // NULL stands for a rate over 0 ns (infinite) or a mean over no values.
    const auto real = [&](double null) {
      const Value& v = r[c++];
      if (v.kind == Value::Kind::kNull) return null;
      return v.kind == Value::Kind::kInteger ? static_cast<double>(v.integer) : v.real;
    };
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const auto n = static_cast<std::uint64_t>(integer());
    out.frames = n;
    // FleetStatsOf's refusals, in its order and words.
    if (n < 2) return "fewer than two frames";
    out.sessions = static_cast<std::uint64_t>(integer());
    out.totalNs = integer();
    if (out.totalNs == 0) return "the frame times add up to 0 ns";
    if (n > (std::uint64_t{1} << 63) / 1000) return "more than 2^63 / 1000 frames";
    out.scale = static_cast<int>(integer());
    out.averageFps = real(kInfinity);
    out.meanMs = real(kInfinity);
    const std::uint64_t needs[] = {2,
                                   zel_analysis::kFramesForP90,
                                   zel_analysis::kFramesForP95,
                                   zel_analysis::kFramesForPercent,
                                   zel_analysis::kFramesForPermille,
                                   zel_analysis::kFramesForPercent,
                                   zel_analysis::kFramesForPercent,
                                   zel_analysis::kFramesForPermille,
                                   zel_analysis::kFramesForPermille};
    std::size_t i = 0;
    for (zel_analysis::Figure* f :
         {&out.p50Ms, &out.p90Ms, &out.p95Ms, &out.p99Ms, &out.p999Ms, &out.low1Percentile,
          &out.low1LowAverage, &out.low01Percentile, &out.low01LowAverage}) {
      f->value = real(kInfinity);
      f->fewFrames = n < needs[i++];
    }
    for (double& share : out.overPercent) share = real(kInfinity);
    out.stutters = static_cast<std::uint64_t>(integer());
    out.stutterShare = real(kInfinity);
    out.jitterMeanMs = real(std::numeric_limits<double>::quiet_NaN());
    out.errorBound = (zel_analysis::BucketLowerNs(1, out.scale) - 1) / 2;
    return "";
  }

  std::unique_ptr<Engine> engine_;
  std::map<std::size_t, std::string> insertBuckets_;
};

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::unique_ptr<FleetStore> OpenFleetStore(const std::string& target, std::string& error) {
  error.clear();
  std::unique_ptr<Engine> engine =
      StartsWith(target, "postgresql://") || StartsWith(target, "postgres://")
          ? OpenPostgres(target, error)
          : OpenSqlite(target, error);
  if (engine == nullptr) return nullptr;
  return std::make_unique<Store>(std::move(engine));
}

}  // namespace zel_fleet
