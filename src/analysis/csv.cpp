#include "csv.h"

#include <charconv>
#include <cmath>
#include <istream>
#include <system_error>

namespace zel_analysis::csv {

bool Lines::Next(std::string& line) {
  if (!std::getline(m_In, line)) return false;
  ++m_Number;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (m_Number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  return true;
}

std::string Lines::ErrorAt(int number, const std::string& what) const {
  return m_Name + ":" + std::to_string(number) + ": " + what;
}

bool NextRow(Lines& lines, int needed, std::vector<std::string>& fields, std::string& error) {
  std::string line;
  do {
    if (!lines.Next(line)) return false;
  } while (line.empty());
  fields = Split(line);
  if (static_cast<int>(fields.size()) < needed)
    error = lines.Error("the row ends after " + std::to_string(fields.size()) + " of the " +
                        std::to_string(needed) + " fields read (is the file cut short?)");
  return true;
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

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

int Find(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (SameName(header[i], name)) return static_cast<int>(i);
    }
  }
  return -1;
}

bool ReadCount(const std::string& text, std::int64_t& value, std::string& error) {
  const char* end = text.data() + text.size();
  const auto [next, ec] = std::from_chars(text.data(), end, value);
  if (ec == std::errc() && next == end) return true;
  error = ec == std::errc::result_out_of_range ? Quoted(text) + " is out of range"
                                               : Quoted(text) + " is not a whole number";
  return false;
}

bool ReadNumber(const std::string& text, double& value, std::string& error) {
  const char* end = text.data() + text.size();
  const auto [next, ec] = std::from_chars(text.data(), end, value);
  if (ec == std::errc() && next == end && std::isfinite(value)) return true;
  error = Quoted(text) + " is not a number";
  return false;
}

bool ToDuration(double value, std::int64_t unitNs, std::int64_t& ns, std::string& error) {
  // About three years of nanoseconds, far inside 64 bits.
  constexpr double kMaxNs = 1e17;
  const double scaled = value * static_cast<double>(unitNs);
  if (!(scaled >= 0.0 && scaled <= kMaxNs)) {
    error = "not a duration from 0 to about 3 years";
    return false;
  }
  ns = std::llround(scaled);
  return true;
}

bool ReadDuration(const std::string& text, std::int64_t unitNs, std::int64_t& ns,
                  std::string& error) {
  double value = 0.0;
  if (!ReadNumber(text, value, error)) return false;
  if (ToDuration(value, unitNs, ns, error)) return true;
  error = Quoted(text) + " is " + error;
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
