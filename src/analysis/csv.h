// What the capture formats share: reading a CSV file row by row with the
// line numbers its errors name, finding columns by name, and numbers read
// and written in the C locale's notation whatever the host's locale.
//
// These are the plain rules. The fast reader (scan.h) splits rows out of
// large blocks of bytes instead, and must agree with them on every input.
#ifndef ZELANALYSIS_SRC_CSV_H
#define ZELANALYSIS_SRC_CSV_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel_analysis::csv {

// The rows of a stream, without line ends ("\n" or "\r\n") and without the
// UTF-8 byte-order mark some tools put in front of the first. A line end
// inside double quotes belongs to the field (a program's name may hold
// one), so such a row runs on over the next line, its line ends kept as
// they are. A quote that is still open where the stream ends is an error,
// named at the line where it opens (the line of the stream's last quote):
// a program's name cut short would otherwise swallow the rest of the file.
class Lines {
public:
  Lines(std::istream& in, std::string name) : m_In(in), m_Name(std::move(name)) {}
  // The next row; false at the end of the stream, or at a quote that never
  // closes, which Fault() then names.
  bool Next(std::string& line);
  // The number of the line the row read last began on, counting from 1.
  std::int64_t Number() const { return m_First; }
  // The lines read so far, those of quoted line ends included.
  std::int64_t Count() const { return m_Number; }
  const std::string& Name() const { return m_Name; }
  // "NAME:LINE: what", about the row read last or about line `number`.
  std::string Error(const std::string& what) const { return ErrorAt(m_First, what); }
  std::string ErrorAt(std::int64_t number, const std::string& what) const;
  // The error line of a quote that never closes, or `what` when the stream
  // simply ended.
  std::string Ended(const std::string& what) const { return m_Fault.empty() ? what : m_Fault; }

private:
  std::istream& m_In;
  std::string m_Name;
  std::string m_Fault;
  std::int64_t m_Number = 0;
  std::int64_t m_First = 0;
};

// What is wrong with a quote that opens on a line and never closes.
constexpr const char* kUnclosedQuote = "a quote opens here and never closes";

// Whether a row ends inside double quotes after `text`, starting outside.
bool OpenQuote(std::string_view text, bool open = false);

// The fields of the next row that is not empty, into `fields`; false at the
// end of the stream (or a quote that never closes, said in `error`). A row of fewer than `needed`
// fields is an error (a file cut short, most likely), and so is one of more than `most` (the
// header's count): a decimal comma in an unquoted number ("16,6") would
// otherwise shift every column after it. Either is said in `error`.
bool NextRow(Lines& lines, std::size_t needed, std::size_t most, std::vector<std::string>& fields,
             std::string& error);
// What is wrong with a row of `count` fields, or empty when the count is fine.
std::string CountFault(std::size_t count, std::size_t needed, std::size_t most);

// One row's fields. Double quotes enclose a field holding commas or line
// ends; "" in quotes stands for one quote.
std::vector<std::string> Split(const std::string& line);

// A text as one field: quoted when it holds a comma, a quote or a line end.
std::string Field(const std::string& text);

// Whether a field is `name`, ignoring ASCII case.
bool SameName(const std::string& field, const char* name);
// The index of the field named `names[0]`, ignoring ASCII case, or failing
// that `names[1]`, and so on; -1 when there is none.
int Find(const std::vector<std::string>& header, std::initializer_list<const char*> names);
// The first of `names` that the header holds more than once, or null. A
// reader refuses such a header rather than guess which column is meant.
const char* Repeated(const std::vector<std::string>& header,
                     std::initializer_list<const char*> names);

// The longest duration a capture may hold, about 3 years: far inside 64
// bits, so that sums of a few of them cannot overflow.
constexpr std::int64_t kMaxDurationNs = 100000000000000000;

// Numbers as capture files write them. Each returns false, with `error`
// saying why, for text that is not a number or out of range.
// A whole number as std::from_chars reads it (inline below).
bool ReadCount(std::string_view text, std::int64_t& value, std::string& error);
// A finite decimal number, "16.6667", "1e-3" (inline below).
bool ReadNumber(std::string_view text, double& value, std::string& error, bool padded = false);
// The double nearest to `text` as std::from_chars reads it, false for text
// it does not read whole. Short decimals ("16.667") take a shortcut: the
// digits as an integer below 2^53 over a power of ten up to 10^22, both
// exact, so that one correctly rounded division gives the nearest double.
bool Number(std::string_view text, double& value);
bool PlainNumber(std::string_view text, double& value);
// Number, for text whose eight bytes from its start may be read (`padded`:
// the fast reader's fields, in a buffer with that much room after its
// data), taking up to eight characters at once.
bool PaddedNumber(std::string_view text, double& value);
// Helpers of the shortcuts below, in the header so that a row's numbers
// are read inline.
namespace words {
// Eight digits at a time, in a 64-bit word with the first character in
// its lowest byte: only where words hold their bytes in that order.
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || defined(_M_X64) || \
    defined(_M_IX86) || defined(_M_ARM64)
constexpr bool kWords = true;
#else
constexpr bool kWords = false;
#endif

constexpr std::uint64_t kZeros = 0x3030303030303030;  // '0' in every byte
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;

// The place of the lowest byte of `mask` whose top bit is set (one is).
inline unsigned LowestByte(std::uint64_t mask) {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<unsigned>(__builtin_ctzll(mask)) / 8;
#else
  unsigned byte = 0;
  for (; (mask & 0x80) == 0; mask >>= 8) ++byte;
  return byte;
#endif
}

// Whether every byte of a word is a digit: its high half 3, and still 3
// with 6 added (a carry out of a byte only comes from one that fails).
inline bool EightDigits(std::uint64_t word) {
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0;
  return ((word & kHigh) | (((word + 0x0606060606060606) & kHigh) >> 4)) == 0x3333333333333333;
}

// The value of a word of eight digits: pairs, then the four pairs, each
// step exact in 64 bits.
inline std::uint64_t EightValue(std::uint64_t word) {
  word -= kZeros;
  word = word * 10 + (word >> 8);
  constexpr std::uint64_t kPairs = 0x000000FF000000FF;
  return (((word & kPairs) * (100 + (std::uint64_t{1000000} << 32))) +
          (((word >> 16) & kPairs) * (1 + (std::uint64_t{10000} << 32)))) >>
         32;
}
}  // namespace words

// PaddedNumber's shortcut alone: for 1 to 8 characters of digits, with at
// most one point between two of them, the digits as a whole number and the
// count after the point (0 to 6); false for any other text. Its eight bytes
// from its start may be read, as PaddedNumber's.
inline bool PaddedDecimal(std::string_view text, std::uint64_t& digits, int& decimals) {
  // The text is put at the top of a word with '0's below it, the point
  // taken out by moving the digits before it up a place, and the eight
  // digits read at once.
  const std::size_t n = text.size();
  using namespace words;
  if (!kWords || n == 0 || n > 8) return false;
  std::uint64_t word = 0;
  std::memcpy(&word, text.data(), 8);
  const auto shift = static_cast<unsigned>(8 * (8 - n));
  word = (word << shift) | (kZeros & ((std::uint64_t{1} << shift) - 1));
  const std::uint64_t x = word ^ 0x2E2E2E2E2E2E2E2E;  // zero where a byte is '.'
  const std::uint64_t points = ~(((x & kLow7) + kLow7) | x | kLow7);
  if (points == 0) {
    if (!EightDigits(word)) return false;
    digits = EightValue(word);
    decimals = 0;
    return true;
  }
  const unsigned point = LowestByte(points);
  // One point, with a digit before it and one after.
  if ((points & (points - 1)) != 0 || point <= 8 - n || point == 7) return false;
  const std::uint64_t before = (std::uint64_t{1} << (8 * point)) - 1;
  const std::uint64_t after = ~((before << 8) | 0xFF);
  const std::uint64_t word7 = ((word & before) << 8) | (word & after) | 0x30;
  if (!EightDigits(word7)) return false;
  digits = EightValue(word7);
  decimals = static_cast<int>(7 - point);
  return true;
}
// The double PaddedNumber reads for what PaddedDecimal gives.
double Decimal(std::uint64_t digits, int decimals);
// Says in `error` that `text` is not a number; false.
bool NotANumber(std::string_view text, std::string& error);
// Inline, so that a row's numbers cost one call each.
inline bool ReadNumber(std::string_view text, double& value, std::string& error, bool padded) {
  return ((padded ? PaddedNumber(text, value) : Number(text, value)) && std::isfinite(value)) ||
         NotANumber(text, error);
}
// ReadCount's shortcut for up to 18 digits and nothing else, false for any
// other text; and std::from_chars for the rest, with the error.
bool Digits(std::string_view text, std::int64_t& value);
bool PlainCount(std::string_view text, std::int64_t& value, std::string& error);
inline bool ReadCount(std::string_view text, std::int64_t& value, std::string& error) {
  return Digits(text, value) || PlainCount(text, value, error);
}
// Whether `text` is 1 to 16 digits, a whole number ReadCount takes, for
// text whose eight bytes from its start may be read (as PaddedNumber's):
// the check alone, without the value. False says nothing either way.
inline bool PaddedDigits(std::string_view text) {
  // The first eight bytes, with '0's in place of those past the text, and
  // the last eight, which overlap them below 16 characters.
  using namespace words;
  const std::size_t n = text.size();
  if (!kWords || n == 0 || n > 16) return false;
  std::uint64_t first = 0, last = kZeros;
  std::memcpy(&first, text.data(), 8);
  if (n > 8) std::memcpy(&last, text.data() + n - 8, 8);
  const auto shift = static_cast<unsigned>(n < 8 ? 8 * (8 - n) : 0);
  first = (first << shift) | (kZeros & ((std::uint64_t{1} << shift) - 1));
  return EightDigits(first) && EightDigits(last);
}
// A non-negative number of units (unitNs nanoseconds each), rounded to the
// nearest nanosecond: "16.6667" ms, "0.012027" s. At most about 3 years.
bool ReadDuration(std::string_view text, std::int64_t unitNs, std::int64_t& ns, std::string& error,
                  bool padded = false);
bool ToDuration(double value, std::int64_t unitNs, std::int64_t& ns, std::string& error);
// ToDuration without the error, for a row read many times a second.
inline bool Scale(double value, std::int64_t unitNs, std::int64_t& ns) {
  const double scaled = value * static_cast<double>(unitNs);
  if (!(scaled >= 0.0 && scaled <= static_cast<double>(kMaxDurationNs))) return false;
  // Rounded half away from zero, as std::llround does, without its call:
  // the part below the whole number is exact for any value in range.
  const auto whole = static_cast<std::int64_t>(scaled);
  ns = whole + (scaled - static_cast<double>(whole) >= 0.5 ? 1 : 0);
  return true;
}
// Scale of PaddedDecimal's values in one unit, to the same nanosecond:
// one multiply where the unit is a whole multiple of the decimals' power
// of ten (and at most 10 ms), Scale of their Decimal otherwise.
class DecimalScale {
public:
  explicit DecimalScale(std::int64_t unitNs = 0);
  bool operator()(std::uint64_t digits, int decimals, std::int64_t& ns) const {
    const std::int64_t factor = m_Factors[decimals];
    if (factor == 0) return Scale(Decimal(digits, decimals), m_UnitNs, ns);
    ns = static_cast<std::int64_t>(digits) * factor;
    return true;
  }

private:
  std::int64_t m_UnitNs;
  std::int64_t m_Factors[8] = {};  // by decimals: unitNs / 10^decimals, or 0
};
// ToDuration's error.
constexpr const char* kNotADuration = "not a duration from 0 to about 3 years";

// A non-negative duration as a decimal number of units with exactly the
// digits that hold every nanosecond: "16.666667" (ms), "0.012027000" (s).
std::string Fixed(std::int64_t ns, std::int64_t unitNs);
// A number with `digits` decimals, "60.0002".
std::string Fixed(double value, int digits);

}  // namespace zel_analysis::csv

#endif
