#include "session.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <utility>

#include "ZelAnalysis/FrameRecorder.h"
#include "counter.h"

namespace zel_capture {

namespace {

struct Stamp {
  std::int64_t call;
  std::int64_t returned;
};

// Replays a present's readings to the recorder, which reads its clock once
// per notice.
thread_local const std::int64_t* t_replay = nullptr;
std::int64_t ReplayClock() { return *t_replay++; }

std::int64_t Seconds(const char* text, std::int64_t otherwise) {
  if (text == nullptr || *text == '\0') return otherwise;
  char* end = nullptr;
  const double seconds = std::strtod(text, &end);
  if (*end != '\0' || !(seconds >= 0.0) || seconds > 1e8) return otherwise;
  return static_cast<std::int64_t>(seconds * 1e9);
}

// Writes all of `text`; false on failure.
bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string WriteToString(const zel_analysis::Capture& capture,
                          zel_analysis::CaptureFormat format) {
  std::ostringstream out;
  zel_analysis::WriteCapture(out, capture, format);
  return out.str();
}

}  // namespace

// A swap chain: the present path's ring of readings, emptied by the writing
// thread. The producer (the thread presenting) owns `head`, the writing
// thread `tail`.
class Chain {
public:
  static constexpr std::uint64_t kRing = 1 << 14;

  Chain(std::size_t number, std::time_t start) : m_Number(number), m_Start(start) {}

  void Push(Stamp stamp) {
    const std::uint64_t head = m_Head.load(std::memory_order_relaxed);
    if (head - m_Tail.load(std::memory_order_acquire) >= kRing) {
      m_Dropped.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    m_Ring[head & (kRing - 1)] = stamp;
    m_Head.store(head + 1, std::memory_order_release);
  }

  // Hands every stamp pushed so far to `take`, oldest first.
  template <typename Take>
  void Pop(Take take) {
    std::uint64_t tail = m_Tail.load(std::memory_order_relaxed);
    const std::uint64_t head = m_Head.load(std::memory_order_acquire);
    for (; tail != head; ++tail) take(m_Ring[tail & (kRing - 1)]);
    m_Tail.store(tail, std::memory_order_release);
  }

  std::size_t Number() const { return m_Number; }
  std::time_t Start() const { return m_Start; }
  std::uint64_t Dropped() const { return m_Dropped.load(std::memory_order_relaxed); }

private:
  // The producer's and the writing thread's counters on lines of their own.
  alignas(64) std::atomic<std::uint64_t> m_Head{0};
  std::atomic<std::uint64_t> m_Dropped{0};
  alignas(64) std::atomic<std::uint64_t> m_Tail{0};
  const std::size_t m_Number;
  const std::time_t m_Start;
  std::array<Stamp, kRing> m_Ring{};
};

// The writing thread's side of a chain: its recorder and its file.
struct Writer {
  zel_analysis::FrameRecorder recorder{4096, ReplayClock};
  int fd = -1;
  std::string path;
  std::string header;  // the format's lines before the first frame
  bool seen = false, started = false;
  std::int64_t first = 0, previous = 0;
  std::size_t frames = 0;
};

struct Session::Slot {
  std::atomic<std::uint64_t> key{0};
  std::atomic<Chain*> chain{nullptr};
};

bool ConfigFromEnvironment(Config& config) {
  const char* enabled = std::getenv("ZEL_CAPTURE");
  if (enabled == nullptr || std::strcmp(enabled, "1") != 0) return false;
  const char* disabled = std::getenv("DISABLE_ZEL_CAPTURE");
  if (disabled != nullptr && *disabled != '\0' && std::strcmp(disabled, "0") != 0) return false;
  if (const char* output = std::getenv("ZEL_CAPTURE_OUTPUT"); output != nullptr && *output) {
    config.output = output;
  }
  if (const char* format = std::getenv("ZEL_CAPTURE_FORMAT"); format != nullptr) {
    zel_analysis::FormatFromName(format, config.format);
  }
  config.startAfterNs = Seconds(std::getenv("ZEL_CAPTURE_START_AFTER"), 0);
  config.durationNs = Seconds(std::getenv("ZEL_CAPTURE_DURATION"), -1);
  return true;
}

std::int64_t Now() {
  std::int64_t count = 0;
  zel_counter::QueryPerformanceCounter(&count);
  return count;
}

std::string CaptureName(const std::string& program, long pid, std::time_t start,
                        std::size_t chain) {
  std::string name = program.empty() ? std::string("program") : program;
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  std::tm local{};
  localtime_r(&start, &local);
  char when[32];
  std::strftime(when, sizeof when, "%Y%m%d-%H%M%S", &local);
  return name + '_' + std::to_string(pid) + '_' + when + '_' + std::to_string(chain) + ".csv";
}

int CreateNew(const std::string& path, std::string& created) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  const std::string stem = extension ? path.substr(0, dot) : path;
  const std::string ext = extension ? path.substr(dot) : std::string();
  for (int n = 1; n <= 1000; ++n) {
    created = n == 1 ? path : stem;
    if (n > 1) created.append(1, '-').append(std::to_string(n)).append(ext);
    const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

Session::Session(Config config, std::string program, long pid)
    : m_Config(std::move(config)),
      m_Program(std::move(program)),
      m_Pid(pid),
      m_Slots(new Slot[kSlots]),
      m_Chains(new std::atomic<Chain*>[kSlots]) {
  for (std::size_t i = 0; i < kSlots; ++i) m_Chains[i].store(nullptr, std::memory_order_relaxed);
  m_Writers.reserve(16);
  if (::pipe2(m_Wake, O_CLOEXEC | O_NONBLOCK) != 0) m_Wake[0] = m_Wake[1] = -1;
  m_Thread = std::thread([this] { Run(); });
}

Session::~Session() {
  Finish(false);
  for (std::size_t i = 0; i < m_ChainCount.load(); ++i) delete m_Chains[i].load();
  for (const int fd : m_Wake) {
    if (fd >= 0) ::close(fd);
  }
}

void Session::Record(std::uint64_t key, std::int64_t call, std::int64_t returned) {
  if (Chain* chain = ChainOf(key)) chain->Push({call, returned});
}

namespace {
constexpr std::uint64_t kRetired = ~std::uint64_t{0};
std::uint64_t Usable(std::uint64_t key) {
  return key == 0 || key == kRetired ? 0x9e3779b97f4a7c15u : key;
}
}  // namespace

Chain* Session::ChainOf(std::uint64_t key, Chain* continued, bool create) {
  key = Usable(key);
  std::uint64_t hash = key * 0x9e3779b97f4a7c15u;
  hash ^= hash >> 29;
  for (std::size_t probe = 0; probe < kSlots; ++probe) {
    Slot& slot = m_Slots[(hash + probe) & (kSlots - 1)];
    std::uint64_t seen = slot.key.load(std::memory_order_acquire);
    if (seen == 0) {
      if (!create) return nullptr;
      if (slot.key.compare_exchange_strong(seen, key, std::memory_order_acq_rel)) {
        Chain* chain = continued;
        if (chain == nullptr) {
          // The swap chain's first present: the only allocation it makes.
          const std::size_t index = m_ChainCount.fetch_add(1, std::memory_order_relaxed);
          chain = new Chain(index + 1, std::time(nullptr));
          m_Chains[index].store(chain, std::memory_order_release);
        }
        slot.chain.store(chain, std::memory_order_release);
        return chain;
      }
      // Another swap chain took the slot first: `seen` now holds its key.
    }
    if (seen == key) {
      // Set by the first present, which happened before this one.
      Chain* chain = slot.chain.load(std::memory_order_acquire);
      while (chain == nullptr) {
        std::this_thread::yield();
        chain = slot.chain.load(std::memory_order_acquire);
      }
      return chain;
    }
    // A retired swap chain's slot, or another's: keep looking.
  }
  return nullptr;  // more swap chains than slots: the rest are not recorded
}

void Session::Retire(std::uint64_t key) {
  key = Usable(key);
  for (std::size_t i = 0; i < kSlots; ++i) {
    std::uint64_t seen = key;
    m_Slots[i].key.compare_exchange_strong(seen, kRetired, std::memory_order_acq_rel);
  }
}

void Session::Continue(std::uint64_t key, std::uint64_t previous) {
  // A swap chain replaced before it presented has no capture to continue.
  if (Chain* chain = ChainOf(previous, nullptr, false)) ChainOf(key, chain);
}

void Session::Run() {
  for (;;) {
    pollfd wake{m_Wake[0], POLLIN, 0};
    ::poll(&wake, m_Wake[0] >= 0 ? 1 : 0, m_Config.flushPeriodMs);
    unsigned char signal = 0;
    bool stop = false;
    while (m_Wake[0] >= 0 && ::read(m_Wake[0], &signal, 1) == 1) {
      stop = true;
      if (signal != 0) break;
    }
    if (!stop) {
      DrainAll(false);
      continue;
    }
    if (signal != 0) {
      Finish(true);
      std::signal(signal, SIG_DFL);
      ::kill(::getpid(), signal);
    }
    return;
  }
}

void Session::Drain(Chain& chain, Writer& writer) {
  chain.Pop([&](const Stamp& stamp) {
    if (!writer.seen) {
      writer.seen = true;
      writer.first = stamp.returned;
    }
    const std::int64_t since = stamp.returned - writer.first;
    if (since < m_Config.startAfterNs) return;
    if (m_Config.durationNs >= 0 && since - m_Config.startAfterNs > m_Config.durationNs) return;
    if (!writer.started) {
      writer.started = true;
      t_replay = &stamp.returned;
      writer.recorder.SwapCallNotice();
    } else {
      // Drawing, as far as a hook can tell: from the previous present's
      // return to this one's call.
      const std::int64_t readings[] = {writer.previous, stamp.call, stamp.returned};
      t_replay = readings;
      writer.recorder.FrameDrawStartNotice();
      writer.recorder.FrameDrawEndNotice();
      writer.recorder.SwapCallNotice();
    }
    writer.previous = stamp.returned;
  });
  std::vector<zel_analysis::Frame> frames = writer.recorder.TakeFrames();
  if (frames.empty() || writer.fd < 0) return;
  writer.frames += frames.size();
  const std::string text = WriteToString({m_Program, std::move(frames)}, m_Config.format);
  WriteAll(writer.fd, text.substr(writer.header.size()));
}

void Session::DrainAll(bool last) {
  const std::size_t count = m_ChainCount.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < count; ++i) {
    Chain* chain = m_Chains[i].load(std::memory_order_acquire);
    if (chain == nullptr) break;  // still being set up: next time
    if (i == m_Writers.size()) {
      auto writer = std::make_unique<Writer>();
      const std::string path =
          m_Config.output.empty() || m_Config.output.back() == '/'
              ? m_Config.output + CaptureName(m_Program, m_Pid, chain->Start(), chain->Number())
              : m_Config.output;
      writer->fd = CreateNew(path, writer->path);
      if (writer->fd < 0) {
        std::fprintf(stderr, "zel-capture: cannot create %s: %s\n", writer->path.c_str(),
                     std::strerror(errno));
      }
      writer->header = WriteToString({m_Program, {}}, m_Config.format);
      if (writer->fd >= 0) WriteAll(writer->fd, writer->header);
      const std::lock_guard<std::mutex> adding(m_Adding);
      m_Writers.push_back(std::move(writer));
    }
    Drain(*chain, *m_Writers[i]);
    if (last) {
      Writer& writer = *m_Writers[i];
      if (writer.fd >= 0) ::close(writer.fd);
      writer.fd = -1;
    }
  }
}

void Session::Finish(bool report) {
  if (m_Finished.exchange(true)) return;
  if (m_Thread.joinable() && m_Thread.get_id() != std::this_thread::get_id()) {
    const unsigned char stop = 0;
    if (m_Wake[1] < 0 || ::write(m_Wake[1], &stop, 1) != 1) {
      // No pipe to wake it: it notices at its next flush.
    }
    m_Thread.join();
  }
  DrainAll(true);
  if (!report) return;
  for (std::size_t i = 0; i < m_Writers.size(); ++i) {
    const Writer& writer = *m_Writers[i];
    const std::uint64_t dropped = m_Chains[i].load()->Dropped();
    std::fprintf(stderr, "zel-capture: %zu frames in %s", writer.frames, writer.path.c_str());
    if (dropped != 0) {
      std::fprintf(stderr, " (%llu presents not recorded)",
                   static_cast<unsigned long long>(dropped));
    }
    std::fprintf(stderr, "\n");
  }
}

void Session::FinishFromSignal(int signal) {
  const auto byte = static_cast<unsigned char>(signal);
  if (m_Wake[1] < 0 || ::write(m_Wake[1], &byte, 1) != 1) {
    // Nothing more a handler may do: the last flush stands.
  }
}

std::vector<std::string> Session::Paths() const {
  const std::lock_guard<std::mutex> adding(m_Adding);
  std::vector<std::string> paths;
  for (const auto& writer : m_Writers) paths.push_back(writer->path);
  return paths;
}

namespace {

std::atomic<Session*> g_session{nullptr};
std::atomic<bool> g_off{false};
std::mutex g_starting;

void OnSignal(int signal) {
  if (Session* session = g_session.load(std::memory_order_acquire)) {
    session->FinishFromSignal(signal);
  }
}

// Where the program left a signal's default action (to end the process),
// the session is finished first; a program's own handler is left alone.
void FinishAtSignal(int signal) {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  if (sigaction(signal, &action, &previous) == 0 && previous.sa_handler != SIG_DFL) {
    sigaction(signal, &previous, nullptr);
  }
}

// A child forked without exec has no writing thread: its first present
// starts a session of its own.
void AfterFork() {
  g_session.store(nullptr, std::memory_order_relaxed);
  g_off.store(false, std::memory_order_relaxed);
}

}  // namespace

Session* ProcessSession() {
  Session* session = g_session.load(std::memory_order_acquire);
  if (session != nullptr || g_off.load(std::memory_order_relaxed)) return session;
  std::lock_guard<std::mutex> starting(g_starting);
  session = g_session.load(std::memory_order_acquire);
  if (session != nullptr || g_off.load(std::memory_order_relaxed)) return session;
  Config config;
  if (!ConfigFromEnvironment(config)) {
    g_off.store(true, std::memory_order_relaxed);
    return nullptr;
  }
  // Never deleted: a thread may still present while the process exits.
  session = new Session(config, program_invocation_short_name, static_cast<long>(::getpid()));
  g_session.store(session, std::memory_order_release);
  static const bool once = [] {
    pthread_atfork(nullptr, nullptr, AfterFork);
    return true;
  }();
  static_cast<void>(once);
  FinishAtSignal(SIGINT);
  FinishAtSignal(SIGTERM);
  return session;
}

void FinishProcessSession() {
  if (Session* session = g_session.load(std::memory_order_acquire)) session->Finish(true);
}

void SetProcessSession(Session* session) {
  g_session.store(session, std::memory_order_release);
  g_off.store(session == nullptr, std::memory_order_relaxed);
}

namespace {
thread_local int t_presents = 0;
}

PresentScope::PresentScope() : m_Outer(t_presents++ == 0), m_Call(m_Outer ? Now() : 0) {}

PresentScope::~PresentScope() { --t_presents; }

}  // namespace zel_capture
