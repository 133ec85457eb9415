// The fleet store against the real engines: an SQLite file here, and the
// PostgreSQL server (or sharded coordinator) that ZEL_TEST_POSTGRES_URL names
// in CI's PostgreSQL stage. The database's figures must equal, to the bit,
// FleetStatsOf over the merged summaries of the same sessions.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "ZelFleet/FleetStore.h"

#ifdef ZELFLEET_POSTGRES
#include <libpq-fe.h>
#endif

namespace {

using namespace zel_analysis;
using zel_fleet::Session;

// A session of `count` frames from `seed`: mostly 5 to 40 ms, some of 0 and
// 1 ns, and (with `slow`) frozen ones over 700 ms; at `scale` when coarser.
Session MakeSession(unsigned seed, int count, const std::string& build, int scale = 7,
                    int tinyPercent = 2, bool slow = false) {
  std::mt19937_64 random(seed);
  std::vector<std::int64_t> ns;
  for (int i = 0; i < count; ++i) {
    const auto roll = static_cast<int>(random() % 100);
    if (roll < tinyPercent) {
      ns.push_back(static_cast<std::int64_t>(random() % 2));
    } else {
      ns.push_back(5000000 + static_cast<std::int64_t>(random() % 35000000));
    }
  }
  if (slow) ns[3] = 900000000;
  std::string error;
  Session session{SummaryOf(ns, error),
                  "session-" + std::to_string(seed) + ".csv",
                  {{"build", build}, {"seed", std::to_string(seed)}}};
  EXPECT_EQ(error, "");
  if (scale < session.summary.scale) EXPECT_TRUE(Coarsen(session.summary, scale));
  return session;
}

void ExpectFleet(zel_fleet::FleetStore& store, const std::vector<Session>& sessions,
                 const std::string& build) {
  FrameSummary merged = sessions[0].summary;
  for (std::size_t i = 1; i < sessions.size(); ++i) ASSERT_TRUE(Merge(merged, sessions[i].summary));
  FleetStats fromDb;
  ASSERT_EQ(store.Fleet(build.empty() ? "" : "build", build, fromDb), "");
  const std::vector<NamedFigure> expected = Figures(FleetStatsOf(merged));
  const std::vector<NamedFigure> actual = Figures(fromDb);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].key);
    EXPECT_STREQ(actual[i].key, expected[i].key);
    EXPECT_EQ(actual[i].value, expected[i].value);  // to the bit (or both infinite)
    EXPECT_EQ(actual[i].fewFrames, expected[i].fewFrames);
  }
}

// The batch that writer `side` (0 or 1) stores: sessions of its own, and
// one that both store.
std::vector<Session> WriterBatch(int side) {
  std::vector<Session> batch = {MakeSession(6, 1000, "4")};
  for (unsigned seed = 10 + static_cast<unsigned>(side); seed < 26; seed += 2) {
    batch.push_back(MakeSession(seed, 400, "4", seed % 3 == 0 ? 3 : 7));
  }
  return batch;
}

const char* self = nullptr;  // this program, to run a writer with

// Runs this program as writer `side`, which stores its batch once `go`
// closes. A new program rather than a fork, so that the child holds none of
// this one's memory or open files.
pid_t StartWriter(const std::string& target, int side, const int go[2]) {
  const std::string sideText = std::to_string(side), goText = std::to_string(go[0]);
  const pid_t pid = fork();
  if (pid == 0) {
    close(go[1]);
    execl(self, self, "--writer", target.c_str(), sideText.c_str(), goText.c_str(), nullptr);
    _exit(127);
  }
  return pid;
}

int Writer(const char* target, int side, int go) {
  std::string error;
  auto store = zel_fleet::OpenFleetStore(target, error);
  const std::vector<Session> batch = WriterBatch(side);
  char byte = 0;
  const bool started = read(go, &byte, 1) == 0;
  std::size_t skipped = 0;
  if (store != nullptr) error = store->StoreBatch(batch, &skipped);
  if (!error.empty()) std::fprintf(stderr, "writer %d: %s\n", side, error.c_str());
  return started && error.empty() ? 0 : 1;
}

void RoundTrip(const std::string& target) {
  std::string error;
  auto store = zel_fleet::OpenFleetStore(target, error);
  ASSERT_NE(store, nullptr) << error;
  // a: frozen frames among others; b: coarser, so that c's 1 ns frames in
  // bucket -1 are merged at scale 0; c: mostly 0 and 1 ns frames, so that
  // the p50 of b and c sits in bucket -1.
  const std::vector<Session> first = {MakeSession(1, 3000, "1", 7, 2, true),
                                      MakeSession(2, 200, "2", 0),
                                      MakeSession(3, 1000, "2", 7, 90)};
  std::size_t skipped = 99;
  ASSERT_EQ(store->StoreBatch(first, &skipped), "");
  EXPECT_EQ(skipped, 0u);
  ASSERT_EQ(store->StoreBatch({first[2]}, &skipped), "");
  EXPECT_EQ(skipped, 1u);
  ExpectFleet(*store, first, "");
  ExpectFleet(*store, {first[1], first[2]}, "2");

  // A bad summary after a good one: the batch stores nothing, names the file.
  Session bad = MakeSession(4, 100, "3");
  bad.summary.counts.back() = 0;
  const std::string badError = store->StoreBatch({MakeSession(5, 100, "3"), bad}, &skipped);
  EXPECT_NE(badError.find("session-4.csv: "), std::string::npos) << badError;
  EXPECT_EQ(badError.find('\n'), std::string::npos) << badError;
  ExpectFleet(*store, first, "");

  // Two processes at once, each storing sessions of its own and one that
  // both store: nothing lost, nothing twice.
  std::vector<Session> all = first;
  for (int side = 0; side < 2; ++side) {
    const std::vector<Session> batch = WriterBatch(side);
    all.insert(all.end(), batch.begin() + side, batch.end());
  }
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  const pid_t pids[] = {StartWriter(target, 0, go), StartWriter(target, 1, go)};
  close(go[0]);
  close(go[1]);  // both start at once
  for (const pid_t pid : pids) {
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ExpectFleet(*store, all, "");
}

TEST(FleetStore, SqliteRoundTrip) {
  const std::string path = ::testing::TempDir() + "fleet-" + std::to_string(getpid()) + ".db";
  std::remove(path.c_str());
  RoundTrip(path);
  std::remove(path.c_str());
}

TEST(FleetStore, PostgresRoundTrip) {
  const char* url = std::getenv("ZEL_TEST_POSTGRES_URL");
  if (url == nullptr || *url == '\0') {
    GTEST_SKIP() << "set ZEL_TEST_POSTGRES_URL to a PostgreSQL database (CI's PostgreSQL stage, "
                    ".ci/stages/36-postgres.sh, does)";
  }
#ifdef ZELFLEET_POSTGRES
  // Start from no sessions; the tables themselves may be there already.
  PGconn* conn = PQconnectdb(url);
  ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
  for (const char* table : {"zel_bucket", "zel_tag", "zel_session"}) {
    PQclear(PQexec(conn, (std::string("DELETE FROM ") + table).c_str()));
  }
  PQfinish(conn);
  RoundTrip(url);
#else
  FAIL() << "ZEL_TEST_POSTGRES_URL is set but PostgreSQL support was not built";
#endif
}

}  // namespace

int main(int argc, char** argv) {
  self = argv[0];
  if (argc == 5 && std::string(argv[1]) == "--writer") {
    return Writer(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
