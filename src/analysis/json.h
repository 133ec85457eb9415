// A small JSON reader for summary files: a value tree with numbers kept as
// their text, so 64-bit integers are read exactly.
#ifndef ZELANALYSIS_JSON_H
#define ZELANALYSIS_JSON_H

#include <string>
#include <utility>
#include <vector>

namespace zel_analysis {

struct JsonValue {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  std::string text;              ///< a number's text, a string's value, "true" or "false"
  std::vector<JsonValue> items;  ///< an array's
  std::vector<std::pair<std::string, JsonValue>> members;  ///< an object's, in order

  /// The member named `key`, or null.
  const JsonValue* Find(const std::string& key) const;
};

/// Parses `text` (RFC 8259; nesting up to 64 deep). Returns "" and the value,
/// or one line saying what is wrong and on which line.
std::string ParseJson(const std::string& text, JsonValue& out);

}  // namespace zel_analysis

#endif
