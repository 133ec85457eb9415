// What the capture formats share: reading a CSV file line by line with the
// line numbers its errors name, finding columns by name, and numbers read
// and written in the C locale's notation whatever the host's locale.
#ifndef ZELANALYSIS_SRC_CSV_H
#define ZELANALYSIS_SRC_CSV_H

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace zel_analysis::csv {

// The lines of a stream, without line ends ("\n" or "\r\n") and without the
// UTF-8 byte-order mark some tools put in front of the first.
class Lines {
public:
  Lines(std::istream& in, std::string name) : m_In(in), m_Name(std::move(name)) {}
  bool Next(std::string& line);
  // The number of the line read last, counting from 1.
  int Number() const { return m_Number; }
  // "NAME:LINE: what", about the line read last or about line `number`.
  std::string Error(const std::string& what) const { return ErrorAt(m_Number, what); }
  std::string ErrorAt(int number, const std::string& what) const;

private:
  std::istream& m_In;
  std::string m_Name;
  int m_Number = 0;
};

// The fields of the next line that is not empty, into `fields`; false at
// the end of the stream. A line of fewer than `needed` fields is an error
// (a file cut short, most likely), said in `error`.
bool NextRow(Lines& lines, int needed, std::vector<std::string>& fields, std::string& error);

// One line's fields. Double quotes enclose a field holding commas; "" in
// quotes stands for one quote.
std::vector<std::string> Split(const std::string& line);

// A text as one field: quoted when it holds a comma, a quote or a line end.
std::string Field(const std::string& text);

// Whether a field is `name`, ignoring ASCII case.
bool SameName(const std::string& field, const char* name);
// The index of the field named `names[0]`, ignoring ASCII case, or failing
// that `names[1]`, and so on; -1 when there is none.
int Find(const std::vector<std::string>& header, std::initializer_list<const char*> names);

// Numbers as capture files write them. Each returns false, with `error`
// saying why, for text that is not a number or out of range.
bool ReadCount(const std::string& text, std::int64_t& value, std::string& error);
// A finite decimal number, "16.6667", "1e-3".
bool ReadNumber(const std::string& text, double& value, std::string& error);
// A non-negative number of units (unitNs nanoseconds each), rounded to the
// nearest nanosecond: "16.6667" ms, "0.012027" s. At most about 3 years.
bool ReadDuration(const std::string& text, std::int64_t unitNs, std::int64_t& ns,
                  std::string& error);
bool ToDuration(double value, std::int64_t unitNs, std::int64_t& ns, std::string& error);

// A non-negative duration as a decimal number of units with exactly the
// digits that hold every nanosecond: "16.666667" (ms), "0.012027000" (s).
std::string Fixed(std::int64_t ns, std::int64_t unitNs);
// A number with `digits` decimals, "60.0002".
std::string Fixed(double value, int digits);

}  // namespace zel_analysis::csv

#endif
