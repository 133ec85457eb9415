// Direct access to a time value's two fields, for tests and fuzz harnesses
// that pin down exact pairs. The representation is two int32 fields,
// seconds then nanoseconds.
#ifndef ZELTIMERS_TESTS_VALUE_FIELDS_H
#define ZELTIMERS_TESTS_VALUE_FIELDS_H

#include <cstdint>
#include <cstring>
#include <utility>

#include "ZelTimeValue.h"

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

#endif
