#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace viren {

// The private-profile text format the settings files keep: "[SECTION]" lines,
// "KEY=value" lines, names compared without regard to case, the first section
// and key of a name winning, every other line (comments, blank lines, unknown
// keys) kept in place with its own line ending when a value is written.
namespace ini {

// Value of `key` in `section`, trimmed of blanks and of one pair of enclosing
// quotes; nullopt when the section or key is absent.
std::optional<std::string> Lookup(std::string_view text, std::string_view section,
                                  std::string_view key);

// Whether a "[section]" line is present (it may hold no keys).
bool HasSection(std::string_view text, std::string_view section);

// `text` with `key` in `section` set to `value`: an existing line is replaced,
// a missing key is added after the last entry of its section, a missing
// section is added at the end. New lines take the text's own line ending
// (CRLF for a new file, as the settings files have always had).
std::string Update(std::string_view text, std::string_view section, std::string_view key,
                   std::string_view value);

bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace ini

// Integer as the profile reader takes it: optional blanks, an optional sign and
// the leading decimal digits; text that does not begin so reads as 0. Values
// beyond the int range saturate instead of wrapping.
int ParseProfileInt(std::string_view text);

}  // namespace viren
