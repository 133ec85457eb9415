#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>

#include "ZelTimeValue.h"
#include "test_support.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct SetCase {
  double seconds;
  std::int32_t wantSeconds, wantNanos;
};
void PrintTo(const SetCase& c, std::ostream* os) { *os << c.seconds << " s"; }

class TimeValueSet : public ::testing::TestWithParam<SetCase> {};

TEST_P(TimeValueSet, TruncatesBothFieldsTowardZero) {
  const SetCase& c = GetParam();
  CZelTimeValue value(-7.5);
  value.Set(c.seconds);
  EXPECT_EQ(Fields(value), std::make_pair(c.wantSeconds, c.wantNanos));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeValueSet,
    ::testing::Values(
        SetCase{2.75, 2, 750000000}, SetCase{-1.5, -1, -500000000}, SetCase{-0.25, 0, -250000000},
        SetCase{0.1234567899, 0, 123456789}, SetCase{1e-10, 0, 0},
        // 0.3 * 1e9 rounds to exactly 3e8 in double; 2.3 leaves a remainder below .3.
        SetCase{0.3, 0, 300000000}, SetCase{2.3, 2, 299999999},
        // The edges of the sub-second shortcut.
        SetCase{0.9999999999999999, 0, 999999999}, SetCase{-0.9999999999999999, 0, -999999999},
        SetCase{1.0, 1, 0}, SetCase{-1.0, -1, 0},
        // Limits: NaN is zero; beyond 32-bit seconds saturates.
        SetCase{std::nan(""), 0, 0}, SetCase{kInf, kMax, 999999999},
        SetCase{-kInf, kMin, -999999999}, SetCase{2147483648.0, kMax, 999999999},
        SetCase{2147483647.5, kMax, 500000000}, SetCase{-2147483648.5, kMin, -500000000},
        SetCase{-2147483649.0, kMin, -999999999}));

struct GetCase {
  std::int32_t seconds, nanos;
  double want;
};
void PrintTo(const GetCase& c, std::ostream* os) { *os << c.seconds << " s " << c.nanos << " ns"; }

class TimeValueGet : public ::testing::TestWithParam<GetCase> {};

TEST_P(TimeValueGet, MultipliesNanosecondsFirstAndAddsSecondsLast) {
  CZelTimeValue value = MakeValue(GetParam().seconds, GetParam().nanos);
  EXPECT_EQ(value.Get(), GetParam().want);
}

// The last two pairs round differently when nanoseconds * 1e-9 + seconds is
// fused into one multiply-add, and the first of them when the nanoseconds
// are divided by 1e9 instead.
INSTANTIATE_TEST_SUITE_P(Cases, TimeValueGet,
                         ::testing::Values(GetCase{0, 0, 0.0}, GetCase{0, -1, -1e-9},
                                           GetCase{0, 1500000000, 1.5}, GetCase{-1, 0, -1.0},
                                           GetCase{5, -250000000, 4.75},
                                           GetCase{kMax, 999999999, 2147483648.0},
                                           GetCase{kMin, -999999999, -2147483649.0},
                                           GetCase{1, 15064144, 1.0150641440000001},
                                           GetCase{5, 7887325, 5.0078873250000004}));

struct OperatorCase {
  const char* name;
  std::int32_t aSeconds, aNanos;
  char op;
  std::int32_t bSeconds, bNanos;
  std::int32_t wantSeconds, wantNanos;
};
void PrintTo(const OperatorCase& c, std::ostream* os) { *os << c.name; }

class TimeValueOperators : public ::testing::TestWithParam<OperatorCase> {};

TEST_P(TimeValueOperators, CarryOnceAndNeverWrap) {
  const OperatorCase& c = GetParam();
  CZelTimeValue a = MakeValue(c.aSeconds, c.aNanos);
  CZelTimeValue b = MakeValue(c.bSeconds, c.bNanos);
  const CZelTimeValue result = c.op == '+' ? a + b : a - b;
  EXPECT_EQ(Fields(result), std::make_pair(c.wantSeconds, c.wantNanos));
  EXPECT_EQ(Fields(a), std::make_pair(c.aSeconds, c.aNanos)) << "left operand changed";
  EXPECT_EQ(Fields(b), std::make_pair(c.bSeconds, c.bNanos)) << "right operand changed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeValueOperators,
    ::testing::Values(
        OperatorCase{"carry", 1, 600000000, '+', 0, 700000000, 2, 300000000},
        OperatorCase{"borrow", 1, 200000000, '-', 0, 700000000, 0, 500000000},
        OperatorCase{"equal nanoseconds, no borrow", 3, 5, '-', 1, 5, 2, 0},
        OperatorCase{"negative nanos kept", 5, 0, '+', 0, -250000000, 5, -250000000},
        OperatorCase{"one carry only", 0, 1500000000, '+', 0, 600000000, 1, 1100000000},
        OperatorCase{"large nanos kept", 0, 1500000000, '-', 0, 200000000, 0, 1300000000},
        OperatorCase{"one borrow only", 0, -1500000000, '-', 0, 600000000, -1, -1100000000},
        // Fields at the very ends of 32 bits are kept as they are.
        OperatorCase{"nanos at max kept", 0, kMax, '-', 0, 0, 0, kMax},
        OperatorCase{"seconds at max kept", kMax, -5, '+', 0, 0, kMax, -5},
        OperatorCase{"seconds at min kept", kMin, 5, '+', 0, 0, kMin, 5},
        // A field would leave 32 bits: the exact value in canonical form.
        OperatorCase{"nanos overflow", 0, 1500000000, '-', 0, -700000000, 2, 200000000},
        OperatorCase{"seconds borrow past min", kMin, 0, '-', 0, 1, kMin, -1},
        // The value itself is out of range: the nearest end, never a wrap.
        OperatorCase{"sum past max", kMax, 0, '+', 1, 0, kMax, 999999999},
        OperatorCase{"carry past max", kMax, 500000000, '+', 0, 600000000, kMax, 999999999},
        OperatorCase{"difference past min", kMin, 0, '-', 1, 0, kMin, -999999999},
        OperatorCase{"both fields at min", kMin, kMin, '+', kMin, kMin, kMin, -999999999}));

}  // namespace
