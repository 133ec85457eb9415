// Helpers shared by the tests.
#ifndef ZELTIMERS_TESTS_TEST_SUPPORT_H
#define ZELTIMERS_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "ZelWallTimer.h"
#include "counter/scripted_counter.h"

// A time value's two fields, seconds then nanoseconds, read and written
// directly so that tests can pin down exact pairs.
static_assert(sizeof(CZelTimeValue) == 2 * sizeof(std::int32_t), "two 32-bit fields");

inline std::pair<std::int32_t, std::int32_t> Fields(const CZelTimeValue& value) {
  std::int32_t raw[2];
  std::memcpy(raw, static_cast<const void*>(&value), sizeof raw);
  return {raw[0], raw[1]};
}

inline CZelTimeValue MakeValue(std::int32_t seconds, std::int32_t nanoseconds) {
  CZelTimeValue value;
  const std::int32_t raw[2] = {seconds, nanoseconds};
  std::memcpy(static_cast<void*>(&value), raw, sizeof raw);
  return value;
}

// A wall timer whose protected time values the tests can reach.
class ProbeTimer : public CZelWallTimer {
public:
  CZelTimeValue& start() { return m_StartTime; }
  CZelTimeValue& elapsed() { return m_ElapsedTime; }
};

// Every test starts with a fresh scripted counter: 1e9 counts per second at 0.
class ScriptedClockTest : public ::testing::Test {
protected:
  void SetUp() override { zel_scripted::Restore(); }
  void TearDown() override { zel_scripted::Restore(); }
};

#endif
