#include "csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <istream>
#include <system_error>

namespace zel_analysis::csv {

using namespace words;

bool Lines::Next(std::string& line) {
  if (!std::getline(m_In, line)) return false;
  m_First = ++m_Number;
  if (m_Number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  // The last quote of a line that ends inside quotes is the one that opened them.
  std::int64_t opened = m_Number;
  std::string more;
  for (bool open = OpenQuote(line); open;) {
    if (!std::getline(m_In, more)) {
      m_Fault = ErrorAt(opened, kUnclosedQuote);
      return false;
    }
    ++m_Number;
    if (more.find('"') != std::string::npos) opened = m_Number;
    open = OpenQuote(more, open);
    line += '\n';
    line += more;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool OpenQuote(std::string_view text, bool open) {
  // "" inside quotes is one quote and leaves them open: only the count's
  // parity matters.
  for (const char c : text) open = open != (c == '"');
  return open;
}

std::string Lines::ErrorAt(std::int64_t number, const std::string& what) const {
  return m_Name + ":" + std::to_string(number) + ": " + what;
}

bool NextRow(Lines& lines, std::size_t needed, std::size_t most, std::vector<std::string>& fields,
             std::string& error) {
  std::string line;
  do {
    if (!lines.Next(line)) {
      error = lines.Ended("");
      return !error.empty();
    }
  } while (line.empty());
  fields = Split(line);
  error = CountFault(fields.size(), needed, most);
  if (!error.empty()) error = lines.Error(error);
  return true;
}

std::string CountFault(std::size_t count, std::size_t needed, std::size_t most) {
  if (count < needed)
    return "the row ends after " + std::to_string(count) + " of the " + std::to_string(needed) +
           " fields read (is the file cut short?)";
  if (count > most)
    return std::to_string(count) + " fields where the header names " + std::to_string(most) +
           " (a decimal comma? numbers need '.')";
  return {};
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool SameName(const std::string& field, const char* name) {
  std::size_t i = 0;
  for (; i < field.size() && name[i] != '\0'; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(field[i]) != lower(name[i])) return false;
  }
  return i == field.size() && name[i] == '\0';
}

std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + '"';
}

namespace {

// A field in an error line: never more than one line, nor very long.
std::string Quoted(std::string_view text) {
  const std::size_t shown = std::min<std::size_t>(text.find_first_of("\r\n"), 40);
  return "'" + std::string(text.substr(0, shown)) + (shown < text.size() ? "...'" : "'");
}

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The value of `n` (8 to 16) characters at `p` when all are digits.
bool SixteenDigits(const char* p, std::size_t n, std::uint64_t& value) {
  std::uint64_t low = 0, high = kZeros;
  std::memcpy(&low, p + n - 8, 8);  // the last eight
  if (n > 8) {
    // The first eight, those the last eight hold too shifted out and '0's
    // in their place.
    const auto shift = static_cast<unsigned>(8 * (16 - n));
    std::memcpy(&high, p, 8);
    high = (high << shift) | (kZeros & ((std::uint64_t{1} << shift) - 1));
  }
  if (!EightDigits(low) || !EightDigits(high)) return false;
  value = EightValue(high) * 100000000 + EightValue(low);
  return true;
}

}  // namespace

int Find(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (SameName(header[i], name)) return static_cast<int>(i);
    }
  }
  return -1;
}

const char* Repeated(const std::vector<std::string>& header,
                     std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const auto count = std::count_if(header.begin(), header.end(), [&](const std::string& field) {
      return SameName(field, name);
    });
    if (count > 1) return name;
  }
  return nullptr;
}

bool Digits(std::string_view text, std::int64_t& value) {
  // Up to 18 digits, the most that cannot overflow: eight at a time from 8
  // to 16, else one multiply each.
  std::uint64_t whole = 0;
  if (kWords && text.size() >= 8 && text.size() <= 16 &&
      SixteenDigits(text.data(), text.size(), whole)) {
    value = static_cast<std::int64_t>(whole);
    return true;
  }
  if (text.empty() || text.size() > 18) return false;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
    if (digit > 9) return false;
    whole = whole * 10 + digit;
  }
  value = static_cast<std::int64_t>(whole);  // below 10^18
  return true;
}

bool PlainCount(std::string_view text, std::int64_t& value, std::string& error) {
  const char* end = text.data() + text.size();
  const auto [next, ec] = std::from_chars(text.data(), end, value);
  if (ec == std::errc() && next == end) return true;
  error = ec == std::errc::result_out_of_range ? Quoted(text) + " is out of range"
                                               : Quoted(text) + " is not a whole number";
  return false;
}

bool PlainNumber(std::string_view text, double& value) {
  const char* end = text.data() + text.size();
  const auto [next, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && next == end;
}

bool Number(std::string_view text, double& value) {
  // [-]digits[.digits], at most 15 digits in all (below 2^53) and at most
  // 22 after the point. Digits past the 19th wrap around, harmlessly: such
  // text goes to from_chars.
  const char* p = text.data();
  const char* end = p + text.size();
  const bool negative = p != end && *p == '-';
  p += negative ? 1 : 0;
  const char* first = p;
  std::uint64_t digits = 0;
  // The digits from `q` on into `digits`; where they end.
  const auto read = [&](const char* q) {
    for (; q != end; ++q) {
      const unsigned digit = static_cast<unsigned char>(*q) - unsigned{'0'};
      if (digit > 9) break;
      digits = digits * 10 + digit;
    }
    return q;
  };
  p = read(p);
  const char* point = p;
  if (p != end && *p == '.') p = read(p + 1);
  const auto decimals = p == point ? 0 : static_cast<int>(p - point) - 1;
  if (p != end || point == first || p == point + 1 || (point - first) + decimals > 15)
    return PlainNumber(text, value);
  value = static_cast<double>(static_cast<std::int64_t>(digits));  // below 2^53
  if (decimals > 0) value /= kPowersOfTen[decimals];
  if (negative) value = -value;
  return true;
}

namespace {

inline double DecimalValue(std::uint64_t digits, int decimals) {
  const auto whole = static_cast<double>(digits);  // exact: below 10^8
  return decimals == 0 ? whole : whole / kPowersOfTen[decimals];
}

}  // namespace

double Decimal(std::uint64_t digits, int decimals) { return DecimalValue(digits, decimals); }

bool PaddedNumber(std::string_view text, double& value) {
  std::uint64_t digits = 0;
  int decimals = 0;
  if (!PaddedDecimal(text, digits, decimals)) return Number(text, value);
  value = DecimalValue(digits, decimals);
  return true;
}

DecimalScale::DecimalScale(std::int64_t unitNs) : m_UnitNs(unitNs) {
  // digits x unitNs / 10^decimals, when 10^decimals divides unitNs, is a
  // whole number below 10^15 (digits below 10^8, unitNs at most 10^7).
  // Scale's division and multiply each round by at most half a unit in
  // the 53rd bit, so its product lies within 0.3 of that whole number and
  // rounds to it: the multiply gives the same.
  std::int64_t power = 1;
  for (std::int64_t& factor : m_Factors) {
    factor = unitNs > 0 && unitNs <= 10000000 && unitNs % power == 0 ? unitNs / power : 0;
    power *= 10;
  }
}

bool NotANumber(std::string_view text, std::string& error) {
  error = Quoted(text) + " is not a number";
  return false;
}

bool ToDuration(double value, std::int64_t unitNs, std::int64_t& ns, std::string& error) {
  if (Scale(value, unitNs, ns)) return true;
  error = kNotADuration;
  return false;
}

bool ReadDuration(std::string_view text, std::int64_t unitNs, std::int64_t& ns, std::string& error,
                  bool padded) {
  double value = 0.0;
  if (!ReadNumber(text, value, error, padded)) return false;
  if (Scale(value, unitNs, ns)) return true;
  error = Quoted(text) + " is " + kNotADuration;
  return false;
}

std::string Fixed(std::int64_t ns, std::int64_t unitNs) {
  std::string text = std::to_string(ns / unitNs);
  if (unitNs > 1) {
    std::string fraction = std::to_string(unitNs + ns % unitNs);  // "1" and the digits
    fraction[0] = '.';
    text += fraction;
  }
  return text;
}

std::string Fixed(double value, int digits) {
  char buffer[512];  // room for any double in fixed notation
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
  return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("nan");
}

}  // namespace zel_analysis::csv
