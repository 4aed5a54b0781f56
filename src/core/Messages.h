#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/MessageIds.h"

namespace viren {

// The program's string table: every message, prompt and caption by its number.
// Returns an empty view for an unknown id.
std::string_view MessageText(int id);

// The text of `id` with %1, %2, ... replaced by the arguments, as the message
// boxes show it. A placeholder without an argument stays as written.
std::string FormatMessage(int id, const std::vector<std::string>& args);
std::string FormatText(std::string_view text, const std::vector<std::string>& args);

// The application title used on every message box.
inline constexpr std::string_view kAppTitle = "VIREN";

}  // namespace viren
