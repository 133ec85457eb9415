// The recording side of zel-capture's hooks: one session per process, one
// capture per swap chain (a Vulkan swap chain, a GLX drawable, an EGL
// surface), each written to its own file as it grows.
//
// The present path only reads the counter and hands two readings to its
// swap chain's ring; a thread of the session's own turns them into frames
// (through zel_analysis::FrameRecorder) and appends them to the capture's
// file a few times a second, so that a program killed outright loses less
// than one flush period of frames.
#ifndef ZELCAPTURE_SRC_SESSION_H
#define ZELCAPTURE_SRC_SESSION_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZelAnalysis/Capture.h"

namespace zel_capture {

/// What to record and where, as zel-capture passes it in the environment.
struct Config {
  /// A folder (ending in '/') for captures named by program, process, start
  /// time and swap chain; or a file: the first capture takes its name, the
  /// next ones that name with "-2", "-3", ... before the extension.
  std::string output = "./";
  zel_analysis::CaptureFormat format = zel_analysis::CaptureFormat::kZel;
  /// Presents within this long of a swap chain's first are not recorded.
  std::int64_t startAfterNs = 0;
  /// Recording stops this long after it started; negative: never.
  std::int64_t durationNs = -1;
  /// How often the frames so far reach the file.
  int flushPeriodMs = 250;
};

/// The configuration zel-capture set in the environment; false when this
/// process is not to be captured (ZEL_CAPTURE is not 1).
bool ConfigFromEnvironment(Config& config);

/// The counter every present is timed with: the library's own, in
/// nanoseconds.
std::int64_t Now();

/// "PROGRAM_PID_YYYYMMDD-HHMMSS_N.csv" (local time); the program's name
/// keeps letters, digits, '.', '-' and '_' and turns anything else to '_'.
std::string CaptureName(const std::string& program, long pid, std::time_t start, std::size_t chain);

/// Creates a new file for a capture, never replacing one: `path`, or if it
/// exists, "STEM-2.EXT", "STEM-3.EXT", ... Returns the descriptor (-1 on
/// failure) and sets `created` to the name used.
int CreateNew(const std::string& path, std::string& created);

class Chain;
struct Writer;

/// Times every present of one process. Record() is safe to call from any
/// number of threads at once, each swap chain presented by one thread at a
/// time (as Vulkan and GL require); it takes no lock and, once a swap
/// chain has been seen, allocates nothing.
class Session {
public:
  Session(Config config, std::string program, long pid);
  /// Finish(), then frees the swap chains: no present may follow.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// One present of the swap chain `key` (any non-zero value naming it):
  /// the counter's readings as the present call began and as it returned.
  /// A swap chain's first present starts its capture.
  void Record(std::uint64_t key, std::int64_t call, std::int64_t returned);

  /// The swap chain `key` is gone: a later one given the same key (a
  /// handle used again) starts a capture of its own.
  void Retire(std::uint64_t key);
  /// The swap chain `key` replaces `previous` (recreated from it, as after a
  /// resize): its presents continue `previous`'s capture.
  void Continue(std::uint64_t key, std::uint64_t previous);

  /// Writes every frame recorded so far and closes the files; later
  /// presents are not written. Reports each capture on stderr when `report`.
  void Finish(bool report = true);

  /// Wakes the writing thread from a signal handler: it finishes the
  /// session, then ends the process with the signal's default action.
  /// Async-signal-safe.
  void FinishFromSignal(int signal);

  /// The files created so far, in the order of their swap chains.
  std::vector<std::string> Paths() const;

private:
  // The chain of `key`; at its first present a new one, or `continued`;
  // null if there is none and not `create`.
  Chain* ChainOf(std::uint64_t key, Chain* continued = nullptr, bool create = true);
  void Run();
  void Drain(Chain& chain, Writer& writer);
  void DrainAll(bool last);

  struct Slot;
  static constexpr std::size_t kSlots = 1024;

  const Config m_Config;
  const std::string m_Program;
  const long m_Pid;
  std::unique_ptr<Slot[]> m_Slots;
  std::unique_ptr<std::atomic<Chain*>[]> m_Chains;
  std::atomic<std::size_t> m_ChainCount{0};
  // The writing thread's own: one writer per chain, in the chains' order.
  // Adding one is guarded for Paths(), never taken on the present path.
  std::vector<std::unique_ptr<Writer>> m_Writers;
  mutable std::mutex m_Adding;
  std::atomic<bool> m_Finished{false};
  int m_Wake[2] = {-1, -1};
  std::thread m_Thread;
};

/// This process's session, started by its first present from the
/// environment (ConfigFromEnvironment); null when capture is off. On the
/// first call it also finishes the session at SIGINT and SIGTERM, where the
/// program left their default action.
Session* ProcessSession();
/// Finishes this process's session, if one started (at exit).
void FinishProcessSession();
/// Makes `session` this process's session, or none with null: a test
/// drives the hooks with a session it owns.
void SetProcessSession(Session* session);

/// Marks one present call on this thread. A present made inside another
/// (a GL swap drawn through Vulkan, a hook calling another hook) is the
/// same present: only the outermost is timed.
class PresentScope {
public:
  PresentScope();
  ~PresentScope();
  PresentScope(const PresentScope&) = delete;
  PresentScope& operator=(const PresentScope&) = delete;
  /// Whether this is the outermost present on the thread.
  bool Outer() const { return m_Outer; }
  /// The counter as the outermost present began.
  std::int64_t Call() const { return m_Call; }

private:
  bool m_Outer;
  std::int64_t m_Call;
};

}  // namespace zel_capture

#endif
