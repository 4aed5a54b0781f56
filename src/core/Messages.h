#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace viren {

// The program's string table: every message, prompt and caption by its number.
// Returns an empty view for an unknown id.
std::string_view MessageText(int id);

// The text of `id` with %1, %2, ... replaced by the arguments, as the message
// boxes show it. A placeholder without an argument stays as written.
std::string FormatMessage(int id, const std::vector<std::string>& args);
std::string FormatText(std::string_view text, const std::vector<std::string>& args);

// The framework's standard checks of integer fields in dialogs.
inline constexpr int kMsgEnterInteger = 61712;         // "Please enter an integer."
inline constexpr int kMsgEnterIntegerBetween = 61714;  // "... between %1 and %2."

// Another program handed over a window this display cannot draw into.
inline constexpr int kMessageExternalWindowRefused = 20001;
// Our own: the serial port of the chosen COM number cannot be opened, and why.
inline constexpr int kMessagePortNotOpened = 20002;
// The camera picture (%1 x %2) is larger than the ball search takes (%3).
inline constexpr int kMessageBallFrameTooLarge = 23001;
// The camera in use (%1) was disconnected; the car was stopped.
inline constexpr int kMessageCameraLost = 23002;
// The window id another program handed over names no window.
inline constexpr int kMessageExternalWindowMissing = 18001;
// Status text: the edited program was saved to %1 before a load replaced it.
inline constexpr int kMessageEditsRecovered = 18002;

// The ball-learning square is larger than the picture it is cut from.
inline constexpr int kMessageLearnSquareTooLarge = 28001;

// The application title used on every message box.
inline constexpr std::string_view kAppTitle = "VIREN";

}  // namespace viren
