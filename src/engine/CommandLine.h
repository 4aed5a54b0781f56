#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace viren {

struct SwitchArgument {
  std::string text;
  // Index in the command line just past the argument (after a closing quote
  // or the blank that ended it); nullopt when nothing was cut off.
  std::optional<size_t> next;
};

// The argument of a two-character switch such as "-i", found by plain
// case-sensitive substring search:
//  - "-i \"a b.avi\" -e"  -> a b.avi   (quoted, blanks allowed)
//  - "-i a.avi -e"        -> a.avi     (up to the next blank)
//  - "-ia.avi"            -> -ia.avi   (no blank after the switch: the rest)
// nullopt when the switch does not occur.
std::optional<SwitchArgument> FindSwitchArgument(std::string_view commandLine,
                                                 std::string_view switchText);

// Whether the switch letters occur anywhere, also inside a file name.
inline bool HasSwitch(std::string_view commandLine, std::string_view switchText) {
  return commandLine.find(switchText) != std::string_view::npos;
}

// The command line as one text, the way the program has always received it:
// arguments joined by blanks, those containing blanks in double quotes.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

}  // namespace viren
