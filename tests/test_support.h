// Helpers shared by the tests.
#ifndef ZELTIMERS_TESTS_TEST_SUPPORT_H
#define ZELTIMERS_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>

#include "ZelWallTimer.h"
#include "counter/scripted_counter.h"
#include "value_fields.h"

// nanoseconds * 1e-9 + seconds with every rounding forced, so the
// expectation holds whatever contraction the compiler would do here.
inline double RoundedGet(std::int32_t seconds, std::int32_t nanoseconds) {
  volatile double product = static_cast<double>(nanoseconds) * 1e-9;
  volatile double sum = product + static_cast<double>(seconds);
  return sum;
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
