// zel-capture's session: per-swap-chain captures from several threads, the
// files' names, the background flush and the recording window. The hooks
// around it are tried on real programs by CI's capture stage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ZelAnalysis/Capture.h"
#include "session.h"

namespace {

using zel_analysis::Frame;

class CaptureSessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    char folder[] = "/tmp/zelcapture_test_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    m_Folder = std::string(folder) + '/';
  }
  void TearDown() override {
    const std::string remove = "rm -rf '" + m_Folder + "'";
    EXPECT_EQ(std::system(remove.c_str()), 0);
  }
  zel_capture::Config Config() const {
    zel_capture::Config config;
    config.output = m_Folder;
    return config;
  }
  static std::vector<Frame> FramesOf(const std::string& path) {
    const zel_analysis::CaptureFile file = zel_analysis::ReadCaptureFile(path);
    EXPECT_EQ(file.error, "") << path;
    return file.capture.frames;
  }
  std::string m_Folder;
};

// Two swap chains presented from two threads at once, at their own pace:
// each gets its own file with exactly its own frames, the draw time being
// the time from one present's return to the next one's call.
TEST_F(CaptureSessionTest, EachSwapChainHasItsOwnCaptureAcrossThreads) {
  struct Chain {
    std::uint64_t key;
    int presents;
    std::int64_t period, inPresent;
  };
  const Chain chains[] = {{0x1000, 3000, 1000, 100}, {0x2000, 1000, 7000, 300}};
  std::vector<std::string> paths;
  {
    zel_capture::Session session(Config(), "two chains", 42);
    std::vector<std::thread> threads;
    for (const Chain& chain : chains) {
      threads.emplace_back([&session, chain] {
        for (int i = 0; i < chain.presents; ++i) {
          const std::int64_t call = 5000000 + i * chain.period;
          session.Record(chain.key, call, call + chain.inPresent);
          if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    session.Finish(false);
    paths = session.Paths();
  }
  ASSERT_EQ(paths.size(), 2u);
  for (const Chain& chain : chains) {
    // The order of first presents decides which file is which.
    const std::string& path =
        paths[FramesOf(paths[0]).size() + 1 == static_cast<std::size_t>(chain.presents) ? 0 : 1];
    const std::vector<Frame> frames = FramesOf(path);
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(chain.presents - 1)) << path;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const Frame expected{static_cast<std::int64_t>(i + 1) * chain.period, chain.period,
                           chain.period - chain.inPresent};
      ASSERT_EQ(frames[i], expected) << path << " frame " << i;
    }
  }
}

// A present made inside another on the same thread (a GL swap that
// presents through Vulkan) is timed once, by the outermost.
TEST_F(CaptureSessionTest, NestedPresentsAreOnePresent) {
  std::string path;
  {
    zel_capture::Session session(Config(), "nested", 7);
    for (int i = 0; i < 10; ++i) {
      const zel_capture::PresentScope outer;
      {
        const zel_capture::PresentScope inner;
        EXPECT_FALSE(inner.Outer());
        if (inner.Outer()) session.Record(2, inner.Call(), zel_capture::Now());
      }
      EXPECT_TRUE(outer.Outer());
      if (outer.Outer()) session.Record(1, outer.Call(), zel_capture::Now());
    }
    session.Finish(false);
    ASSERT_EQ(session.Paths().size(), 1u);
    path = session.Paths()[0];
  }
  EXPECT_EQ(FramesOf(path).size(), 9u);
}

// Names carry program, process, local start time and swap chain; a file is
// never replaced, neither in a folder nor when the output is one file.
TEST_F(CaptureSessionTest, NamesNeverReplaceAFile) {
  std::tm moment{};
  moment.tm_year = 2026 - 1900;
  moment.tm_mon = 11;
  moment.tm_mday = 7;
  moment.tm_hour = 4;
  moment.tm_min = 5;
  moment.tm_sec = 6;
  moment.tm_isdst = -1;
  EXPECT_EQ(zel_capture::CaptureName("My Game.exe", 123, std::mktime(&moment), 2),
            "My_Game.exe_123_20261207-040506_2.csv");

  const std::string file = m_Folder + "run.csv";
  std::ofstream(file) << "kept\n";
  {
    zel_capture::Config config = Config();
    config.output = file;
    zel_capture::Session session(config, "game", 1);
    for (std::int64_t i = 0; i < 3; ++i) {
      session.Record(0xa, i * 1000, i * 1000 + 1);
      session.Record(0xb, i * 1000, i * 1000 + 1);
    }
    session.Finish(false);
    EXPECT_EQ(session.Paths(),
              (std::vector<std::string>{m_Folder + "run-2.csv", m_Folder + "run-3.csv"}));
  }
  std::ifstream kept(file);
  std::string line;
  EXPECT_TRUE(std::getline(kept, line) && line == "kept");
}

// Without Finish (a program killed outright), the frames reach the file
// within a second.
TEST_F(CaptureSessionTest, FramesReachTheFileWithinASecond) {
  zel_capture::Session session(Config(), "killed", 3);
  for (std::int64_t i = 0; i <= 100; ++i) session.Record(9, i * 1000000, i * 1000000 + 10);
  std::size_t frames = 0;
  for (int wait = 0; wait < 100 && frames < 100; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::vector<std::string> paths = session.Paths();
    if (paths.size() == 1) frames = FramesOf(paths[0]).size();
  }
  EXPECT_EQ(frames, 100u);
}

// --start-after and --duration: recording starts with the first present at
// or after the start, and stops once the duration since it has passed.
TEST_F(CaptureSessionTest, RecordsWithinItsWindow) {
  struct Case {
    std::int64_t startAfter, duration;
    std::size_t frames;
    std::int64_t firstInterval;
  } const cases[] = {
      {0, -1, 100, 10}, {250, -1, 75, 10}, {0, 300, 30, 10}, {250, 300, 30, 10}, {1000, -1, 0, 0}};
  for (const Case& c : cases) {
    zel_capture::Config config = Config();
    config.startAfterNs = c.startAfter;
    config.durationNs = c.duration;
    std::string path;
    {
      zel_capture::Session session(config, "window", 5);
      // A present every 10 ns, from 0 to 1000.
      for (std::int64_t i = 0; i <= 100; ++i) session.Record(3, i * 10 - 1, i * 10);
      session.Finish(false);
      path = session.Paths().at(0);
    }
    const std::vector<Frame> frames = FramesOf(path);
    EXPECT_EQ(frames.size(), c.frames) << c.startAfter << ' ' << c.duration;
    if (!frames.empty()) EXPECT_EQ(frames[0].intervalNs, c.firstInterval);
    std::remove(path.c_str());
  }
}

}  // namespace
