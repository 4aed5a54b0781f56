#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace viren::bridge {

// The bridge's messages are single-level JSON objects of a few members
// ({"drive":"forward","t":1733650000123}). Anything that arrives from the
// broker is untrusted: the parser below accepts exactly one such object and
// refuses everything else with a reason, without exceptions, never reading
// past the text it was given and never growing beyond the limits here.
inline constexpr std::size_t kMaxJsonBytes = 1024;
inline constexpr std::size_t kMaxJsonMembers = 16;
inline constexpr std::size_t kMaxJsonStringBytes = 256;

struct JsonValue {
  enum class Kind { String, Number, Bool, Null };
  Kind kind = Kind::Null;
  std::string text;          // String: the decoded UTF-8 text
  bool isInteger = false;    // Number: written without fraction or exponent, fits 64 bits
  std::int64_t integer = 0;  // Number, when isInteger
  bool boolean = false;      // Bool
  std::string raw;           // Number: the text as written; String: the quoted text as written
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

struct JsonParseResult {
  std::optional<std::vector<JsonMember>> members;  // nullopt: refused, see error
  std::string error;
};

// One object of string, number, true, false or null members; nested objects
// and arrays, duplicate keys, invalid UTF-8 escapes and text after the object
// are refused.
JsonParseResult ParseFlatJsonObject(std::string_view text);

const JsonValue* FindMember(const std::vector<JsonMember>& members, std::string_view key);

// Builds one object member by member, in the order added.
class JsonWriter {
 public:
  JsonWriter& Add(std::string_view key, std::int64_t value);
  JsonWriter& Add(std::string_view key, int value) { return Add(key, std::int64_t{value}); }
  JsonWriter& Add(std::string_view key, bool value);
  JsonWriter& Add(std::string_view key, std::string_view value);
  JsonWriter& Add(std::string_view key, const char* value) {
    return Add(key, std::string_view(value));
  }
  // A value already written as JSON (an id echoed back as it came).
  JsonWriter& AddRaw(std::string_view key, std::string_view json);
  std::string Finish() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

// `text` as a JSON string, quotes included; bytes that are not valid UTF-8
// become U+FFFD so that the result is always valid JSON.
std::string JsonQuote(std::string_view text);

}  // namespace viren::bridge
