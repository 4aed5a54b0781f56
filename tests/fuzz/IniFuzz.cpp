// The settings text as the profile reader and writer handle it: any text
// (a settings file edited by hand, or written by another program), every key
// of the program looked up in it, and one value written into it.
#include <cctype>

#include "FuzzSupport.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"

using namespace viren;

namespace {

// Names and values the program itself writes: no blanks at either end, no
// line breaks, no brackets or equals sign in names, values not in quotes.
bool PlainName(std::string_view s) {
  if (s.empty() || s.size() > 40) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

bool PlainValue(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\'') return false;
  return s.empty() || (s.front() != ' ' && s.back() != ' ');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const std::string_view section = input.Text(24);
  const std::string_view key = input.Text(24);
  const std::string_view value = input.Text(64);
  const auto keys = AllSettingKeys();
  const SettingKey& known = keys[input.Range(0, static_cast<int>(keys.size()) - 1)];
  const std::string_view text = input.RestText();

  // Keys of the program, read as the program reads them: the one the input
  // names, and the key written below.
  for (const auto& [s, k] : {std::pair{known.section, known.key}, std::pair{section, key}}) {
    const auto found = ini::Lookup(text, s, k);
    if (!found) continue;
    ParseProfileInt(*found);
    ParseSettingPair(*found);
    const ColorRef colour = ParseColorText(*found);
    if (colour != kBadColor) FUZZ_CHECK(ParseColorText(FormatColorText(colour)) == colour);
  }
  const int number = ParseProfileInt(value);
  FUZZ_CHECK(ParseProfileInt(std::to_string(number)) == number);

  const std::string updated = ini::Update(text, section, key, value);
  if (PlainName(section) && PlainName(key) && PlainValue(value)) {
    const auto back = ini::Lookup(updated, section, key);
    FUZZ_CHECK(back.has_value() && *back == value);
    // Writing the same value again changes nothing.
    FUZZ_CHECK(ini::Update(updated, section, key, value) == updated);
    // Other keys read as before: the one the input named, and every key of
    // the program in the section written.
    if (!ini::EqualNoCase(known.key, key) || !ini::EqualNoCase(known.section, section))
      FUZZ_CHECK(ini::Lookup(updated, known.section, known.key) ==
                 ini::Lookup(text, known.section, known.key));
    for (const SettingKey& k : keys) {
      if (!ini::EqualNoCase(k.section, section) || ini::EqualNoCase(k.key, key)) continue;
      FUZZ_CHECK(ini::Lookup(updated, k.section, k.key) == ini::Lookup(text, k.section, k.key));
    }
  }
  return 0;
}
