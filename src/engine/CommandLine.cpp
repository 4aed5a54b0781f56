#include "engine/CommandLine.h"

namespace viren {

std::optional<SwitchArgument> FindSwitchArgument(std::string_view commandLine,
                                                 std::string_view switchText) {
  const size_t start = commandLine.find(switchText);
  if (start == std::string_view::npos) return std::nullopt;
  const std::string_view rest = commandLine.substr(start);

  // After the switch and one separator: a double quote opens a quoted argument.
  if (rest.size() > 3 && rest[3] == '"') {
    const size_t close = rest.find('"', 4);
    if (close == std::string_view::npos) return SwitchArgument{std::string(rest.substr(4)), {}};
    return SwitchArgument{std::string(rest.substr(4, close - 4)), start + close + 1};
  }

  if (rest.find(' ', 2) == std::string_view::npos) return SwitchArgument{std::string(rest), {}};

  const std::string_view argument = rest.size() > 3 ? rest.substr(3) : std::string_view{};
  const size_t blank = argument.find(' ');
  if (blank == std::string_view::npos) return SwitchArgument{std::string(argument), {}};
  return SwitchArgument{std::string(argument.substr(0, blank)), start + 3 + blank + 1};
}

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& a : arguments) {
    if (!line.empty()) line += ' ';
    if (a.find(' ') != std::string::npos)
      line += '"' + a + '"';
    else
      line += a;
  }
  return line;
}

}  // namespace viren
