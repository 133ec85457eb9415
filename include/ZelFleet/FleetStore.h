// ZelTimers fleet store: session summaries kept in a database, and the
// fleet's statistics computed by the database itself.
//
// A store is an SQLite file or a PostgreSQL database. Its tables and queries
// are plain SQL shipped with the library (share/zeltimers/sql): the same
// fleet query gives the same figures, to the bit, in every engine, and the
// same as FleetStatsOf over the merged summaries of the same sessions.
#ifndef ZELFLEET_FLEETSTORE_H
#define ZELFLEET_FLEETSTORE_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZelAnalysis/FrameSummary.h"

namespace zel_fleet {

/// One session to store: its summary, the file it came from (for error
/// messages) and its tags (key, value), keys unique within the session.
struct Session {
  zel_analysis::FrameSummary summary;
  std::string file;
  std::vector<std::pair<std::string, std::string>> tags;
};

/// A database holding sessions.
class FleetStore {
public:
  virtual ~FleetStore() = default;

  /// Stores `sessions` in one transaction, creating the tables on first use.
  /// A session stored already (the same SessionKey) is skipped and counted in
  /// *skipped (when not null). Returns "" or one line naming the file that
  /// failed (a summary CheckSummary refuses, a duplicate tag key, an
  /// unrelated session under the same id, the database's own error); then
  /// nothing of the batch is stored. Other processes may store into the same
  /// database at the same time: each batch goes in whole, once.
  virtual std::string StoreBatch(const std::vector<Session>& sessions, std::size_t* skipped) = 0;

  /// The same, for sessions that arrive one by one: `next` fills in the next
  /// session and returns "" (done set when there is none left), or returns
  /// why it has none (then nothing of the batch is stored and that is the
  /// answer). A reader can make the next session while the database stores
  /// the last.
  using SessionSource = std::function<std::string(Session& session, bool& done)>;
  virtual std::string StoreFrom(const SessionSource& next, std::size_t* skipped) = 0;

  /// The statistics of every stored session, or of those with the tag
  /// tagKey = tagValue when tagKey is not empty, as FleetStatsOf computes
  /// them from the merged summaries. Returns "" or why there are none (no
  /// sessions, fewer than two frames, a database error), with out.error set
  /// to the same.
  virtual std::string Fleet(const std::string& tagKey, const std::string& tagValue,
                            zel_analysis::FleetStats& out) = 0;
};

/// Opens the store at `target`: a postgresql:// or postgres:// URL, or else
/// an SQLite file (created on first use). Null, with `error` set to one line,
/// when it cannot be opened (or PostgreSQL support was not built).
std::unique_ptr<FleetStore> OpenFleetStore(const std::string& target, std::string& error);

}  // namespace zel_fleet

#endif
