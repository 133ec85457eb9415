#include "json.h"

#include <cstdint>

namespace zel_analysis {

namespace {

constexpr int kMaxDepth = 64;

class Parser {
public:
  explicit Parser(const std::string& text) : text_(text) {}

  std::string Run(JsonValue& out) {
    if (!Value(out, 0)) return error_;
    Space();
    if (at_ != text_.size()) Fail("more text after the value");
    return error_;
  }

private:
  bool Fail(const std::string& what) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) line += text_[i] == '\n';
    error_ = "line " + std::to_string(line) + ": " + what;
    return false;
  }

  void Space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }

  bool Literal(const char* word) {
    const std::string w = word;
    if (text_.compare(at_, w.size(), w) != 0) return Fail("not a JSON value");
    at_ += w.size();
    return true;
  }

  static void PutUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  bool Hex4(std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      if (at_ >= text_.size()) return Fail("a \\u escape cut short");
      const char c = text_[at_];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return Fail("a \\u escape with a non-hex digit");
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    while (true) {
      if (at_ >= text_.size()) return Fail("a string never closes");
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return Fail("a string never closes");
      const char e = text_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          std::uint32_t c1 = 0;
          if (!Hex4(c1)) return false;
          if (c1 >= 0xD800 && c1 < 0xDC00 && text_.compare(at_, 2, "\\u") == 0) {
            at_ += 2;
            std::uint32_t c2 = 0;
            if (!Hex4(c2)) return false;
            if (c2 < 0xDC00 || c2 >= 0xE000) return Fail("a lone surrogate in a \\u escape");
            c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
          } else if (c1 >= 0xD800 && c1 < 0xE000) {
            return Fail("a lone surrogate in a \\u escape");
          }
          PutUtf8(out, c1);
          break;
        }
        default:
          return Fail("an unknown escape in a string");
      }
    }
  }

  bool Number(JsonValue& out) {
    const std::size_t start = at_;
    const auto digits = [&] {
      const std::size_t from = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
      return at_ > from;
    };
    if (text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0') {
      ++at_;
    } else if (!digits()) {
      return Fail("not a JSON value");
    }
    if (at_ < text_.size() && text_[at_] == '.' && (++at_, !digits())) return Fail("a bad number");
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!digits()) return Fail("a bad number");
    }
    out.kind = JsonValue::kNumber;
    out.text = text_.substr(start, at_ - start);
    return true;
  }

  // Steps over the closing bracket of an object or array, if it is next.
  bool Closes(bool object) {
    if (at_ >= text_.size() || text_[at_] != (object ? '}' : ']')) return false;
    ++at_;
    return true;
  }

  // Recursive, as JSON nests; kMaxDepth bounds the stack.
  bool Value(JsonValue& out, int depth) {  // NOLINT(misc-no-recursion)
    Space();
    if (at_ >= text_.size()) return Fail("the text ends where a value should be");
    if (depth > kMaxDepth) return Fail("nested more than 64 deep");
    const char c = text_[at_];
    if (c == '{' || c == '[') {
      const bool object = c == '{';
      out.kind = object ? JsonValue::kObject : JsonValue::kArray;
      ++at_;
      Space();
      if (Closes(object)) return true;
      while (true) {
        Space();
        JsonValue item;
        std::string key;
        if (object) {
          if (at_ >= text_.size() || text_[at_] != '"')
            return Fail("an object's key is not a string");
          if (!String(key)) return false;
          Space();
          if (at_ >= text_.size() || text_[at_] != ':') return Fail("no ':' after an object's key");
          ++at_;
        }
        if (!Value(item, depth + 1)) return false;
        if (object) {
          out.members.emplace_back(std::move(key), std::move(item));
        } else {
          out.items.push_back(std::move(item));
        }
        Space();
        if (at_ < text_.size() && text_[at_] == ',') {
          ++at_;
          continue;
        }
        if (Closes(object)) return true;
        return Fail(object ? "an object never closes" : "an array never closes");
      }
    }
    if (c == '"') {
      out.kind = JsonValue::kString;
      return String(out.text);
    }
    if (c == 't' || c == 'f') {
      out.kind = JsonValue::kBool;
      out.text = c == 't' ? "true" : "false";
      return Literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') return Literal("null");
    return Number(out);
  }

  const std::string& text_;
  std::size_t at_ = 0;
  std::string error_;
};

}  // namespace

const JsonValue* JsonValue::Find(const std::string& key) const {
  for (const auto& member : members)
    if (member.first == key) return &member.second;
  return nullptr;
}

std::string ParseJson(const std::string& text, JsonValue& out) {
  out = JsonValue();
  return Parser(text).Run(out);
}

}  // namespace zel_analysis
