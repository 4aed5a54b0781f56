#include "FlatJson.h"

#include <cstdio>

namespace viren::bridge {

namespace {

constexpr std::size_t kMaxNumberChars = 32;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence at text[i] (lead byte >= 0x80),
// or 0: overlong forms, surrogates and values past U+10FFFF are not UTF-8.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonParseResult Run() {
    JsonParseResult result;
    std::vector<JsonMember> members;
    if (text_.size() > kMaxJsonBytes) return Refuse("longer than 1024 bytes");
    SkipSpace();
    if (!Take('{')) return Refuse("not a JSON object");
    SkipSpace();
    if (!Take('}')) {
      for (;;) {
        if (members.size() == kMaxJsonMembers) return Refuse("more than 16 members");
        JsonMember member;
        SkipSpace();
        if (Peek() != '"') return Refuse("a member name must be a string");
        if (!ParseString(member.key, nullptr)) return Refuse(error_);
        if (FindMember(members, member.key)) return Refuse("member \"" + member.key + "\" twice");
        SkipSpace();
        if (!Take(':')) return Refuse("':' expected after a member name");
        SkipSpace();
        if (!ParseValue(member.value)) return Refuse(error_);
        members.push_back(std::move(member));
        SkipSpace();
        if (Take(',')) continue;
        if (Take('}')) break;
        return Refuse("',' or '}' expected");
      }
    }
    SkipSpace();
    if (pos_ != text_.size()) return Refuse("text after the object");
    result.members = std::move(members);
    return result;
  }

 private:
  JsonParseResult Refuse(std::string why) {
    JsonParseResult r;
    char where[32];
    std::snprintf(where, sizeof where, " (at byte %zu)", pos_);
    r.error = std::move(why) + where;
    return r;
  }

  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  bool AtEnd() const { return pos_ >= text_.size(); }
  bool Take(char c) {
    if (AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool TakeWord(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(text_[pos_])) ++pos_;
  }
  bool Fail(const char* why) {
    error_ = why;
    return false;
  }

  bool ParseValue(JsonValue& value) {
    const char c = Peek();
    if (c == '"') {
      value.kind = JsonValue::Kind::String;
      return ParseString(value.text, &value.raw);
    }
    if (c == '-' || IsDigit(c)) return ParseNumber(value);
    if (TakeWord("true")) {
      value.kind = JsonValue::Kind::Bool;
      value.boolean = true;
      return true;
    }
    if (TakeWord("false")) {
      value.kind = JsonValue::Kind::Bool;
      return true;
    }
    if (TakeWord("null")) {
      value.kind = JsonValue::Kind::Null;
      return true;
    }
    if (c == '{' || c == '[') return Fail("nested objects and arrays are not accepted");
    return Fail("a value expected");
  }

  bool ParseFourHex(std::uint32_t& code) {
    if (text_.size() - pos_ < 4) return Fail("\\u needs four hexadecimal digits");
    code = 0;
    for (int k = 0; k < 4; ++k) {
      const int h = HexValue(text_[pos_++]);
      if (h < 0) return Fail("\\u needs four hexadecimal digits");
      code = code * 16 + static_cast<std::uint32_t>(h);
    }
    return true;
  }

  bool ParseString(std::string& out, std::string* raw) {
    const std::size_t start = pos_;
    ++pos_;  // the opening quote
    for (;;) {
      if (out.size() > kMaxJsonStringBytes) return Fail("a string longer than 256 bytes");
      if (AtEnd()) return Fail("unterminated string");
      const char c = text_[pos_];
      const auto u = static_cast<unsigned char>(c);
      if (c == '"') {
        ++pos_;
        break;
      }
      if (u < 0x20) return Fail("control character in a string");
      if (u >= 0x80) {
        const std::size_t length = Utf8SequenceLength(text_, pos_);
        if (length == 0) return Fail("a string is not valid UTF-8");
        out.append(text_.substr(pos_, length));
        pos_ += length;
        continue;
      }
      ++pos_;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (AtEnd()) return Fail("unterminated string");
      const char e = text_[pos_++];
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
          std::uint32_t code = 0;
          if (!ParseFourHex(code)) return false;
          if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a lone low surrogate");
          if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (!TakeWord("\\u") || !ParseFourHex(low) || low < 0xDC00 || low > 0xDFFF) {
              return Fail("a high surrogate without its low half");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          if (code == 0) return Fail("NUL in a string");
          AppendUtf8(out, code);
          break;
        }
        default:
          return Fail("unknown escape in a string");
      }
    }
    if (out.size() > kMaxJsonStringBytes) return Fail("a string longer than 256 bytes");
    if (raw) *raw = std::string(text_.substr(start, pos_ - start));
    return true;
  }

  bool ParseNumber(JsonValue& value) {
    const std::size_t start = pos_;
    const bool negative = Take('-');
    if (!IsDigit(Peek())) return Fail("a digit expected");
    bool fits = true;
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    if (Take('0')) {
      if (IsDigit(Peek())) return Fail("a number with a leading zero");
    } else {
      while (IsDigit(Peek())) {
        const auto digit = static_cast<std::uint64_t>(text_[pos_++] - '0');
        if (magnitude > (limit - digit) / 10) fits = false;
        if (fits) magnitude = magnitude * 10 + digit;
      }
    }
    bool integral = true;
    if (Take('.')) {
      integral = false;
      if (!IsDigit(Peek())) return Fail("a digit expected after '.'");
      while (IsDigit(Peek())) ++pos_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      integral = false;
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (!IsDigit(Peek())) return Fail("a digit expected in the exponent");
      while (IsDigit(Peek())) ++pos_;
    }
    if (pos_ - start > kMaxNumberChars) return Fail("a number longer than 32 characters");
    value.kind = JsonValue::Kind::Number;
    value.raw = std::string(text_.substr(start, pos_ - start));
    value.isInteger = integral && fits;
    if (value.isInteger) {
      value.integer = negative ? static_cast<std::int64_t>(0 - magnitude)
                               : static_cast<std::int64_t>(magnitude);
    }
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

}  // namespace

JsonParseResult ParseFlatJsonObject(std::string_view text) {
  return Parser(text).Run();
}

const JsonValue* FindMember(const std::vector<JsonMember>& members, std::string_view key) {
  for (const auto& m : members) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    ++i;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void JsonWriter::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ',';
  text_ += JsonQuote(key);
  text_ += ':';
}

JsonWriter& JsonWriter::Add(std::string_view key, std::int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Add(std::string_view key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Add(std::string_view key, std::string_view value) {
  Key(key);
  text_ += JsonQuote(value);
  return *this;
}

JsonWriter& JsonWriter::AddRaw(std::string_view key, std::string_view json) {
  Key(key);
  text_ += json;
  return *this;
}

}  // namespace viren::bridge
