#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "program/EventRecord.h"

namespace viren {

// Control ids of the command dialog (dialog 136); the widgets carry them as
// object names ("control1007").
enum EventDlgControl : int {
  IDC_EVENT_RADIO1 = 1003,
  IDC_EVENT_RADIO2 = 1004,
  IDC_EVENT_RADIO3 = 1005,
  IDC_EVENT_RADIO4 = 1006,
  IDC_EVENT_VALUE1 = 1007,
  IDC_EVENT_VALUE2 = 1008,
  IDC_EVENT_LABEL1 = 1009,
  IDC_EVENT_LABEL2 = 1010,
  IDC_EVENT_REFERENCE = 1011,
  IDC_EVENT_SPIN1 = 1012,
  IDC_EVENT_SPIN2 = 1013,
  IDC_EVENT_RADIO5 = 1014,  // in the template, never shown
  IDC_EVENT_CHECK = 1035,
};

// Control ids of the timer dialog (dialog 137).
enum TimeDlgControl : int {
  IDC_TIME_SECONDS = 1004,
  IDC_TIME_SECONDS_SPIN = 1005,
  IDC_TIME_TENTHS = 1006,
  IDC_TIME_TENTHS_SPIN = 1007,
  IDC_TIME_SECONDS_LABEL = 1008,
  IDC_TIME_TENTHS_LABEL = 1009,
  IDC_TIME_REAL_CLOCK = 1013,  // in the template, never shown
};

// The integer checks every dialog edit gets before a command's own rules:
// "Please enter an integer." and "Please enter an integer between %1 and %2."

// The option value with which the position dialog's reference button closes
// it: the point is then placed with the mouse.
inline constexpr int kReferenceOption = 9;

// The exchange range of CEventDlg's two edits and of the timer's fields.
inline constexpr int kEventEditMin = 0;
inline constexpr int kEventEditMax = 999;
inline constexpr int kTimerSecondsMax = 60;
inline constexpr int kTimerTenthsMax = 59;

// A point of a position command lies in the 640 x 480 plane, edges included.
inline constexpr int kLayoutPlaneWidth = 640;
inline constexpr int kLayoutPlaneHeight = 480;

// What the dialogs read of the rest of the program when they open.
struct CommandDialogContext {
  bool roboQ = false;           // CONTROL_ROBOQ
  bool enableTurbo = true;      // ENABLE_TURBO
  int cameraWidth = 640;        // capture width; 640 until a format is known
  bool captureRunning = false;  // the reference button then says "ｶﾒﾗ参照"
  int soundCount = 0;           // sound numbers 1..soundCount are valid
};

// The members CEventDlg exchanges with its controls.
struct EventDialogValues {
  int option = 0;  // chosen radio button, 0 = the first
  int value1 = 0;  // edit 1007
  int value2 = 0;  // edit 1008
  int check = 0;   // check box 1035
};

// How CEventDlg looks for one kind when it opens. An empty radio text hides
// that button.
struct EventDialogSetup {
  std::string caption;
  std::array<std::string, 4> radios;
  bool value1Shown = false;
  std::string label1;
  int spin1Min = 0;
  int spin1Max = 0;
  bool value2Shown = false;
  std::string label2;
  int spin2Min = 0;
  int spin2Max = 0;
  bool checkShown = false;
  std::string checkText;
  bool referenceShown = false;
  std::string referenceText;
};
EventDialogSetup SetUpEventDialog(EventKind kind, const CommandDialogContext& context);

// Which controls may be used for the current choice. For the handle the
// first label and spin range follow the check box ("角度" 0..360 or
// "回転数" 0..99); label1 is empty when the set-up's label stays.
struct EventDialogEnabling {
  bool value1 = true;  // edit 1007 with spin 1012
  bool value2 = true;  // edit 1008 with spin 1013
  bool check = true;
  bool reference = true;
  std::string label1;
  int spin1Min = 0;
  int spin1Max = 0;
};
EventDialogEnabling EnableEventControls(EventKind kind, const EventDialogValues& values,
                                        const EventDialogSetup& setup);

// A refused entry: the field that gets the focus and the message shown.
struct DialogRefusal {
  int control = 0;
  int messageId = 0;
  std::vector<std::string> args;
  friend bool operator==(const DialogRefusal&, const DialogRefusal&) = default;
};

// The dialogs' own integer check of an edit's text: blanks, an optional sign
// and digits, inside [minimum, maximum].
std::optional<DialogRefusal> ExchangeInt(const std::string& text, int minimum, int maximum,
                                         int control, int& value);

// The command rules on OK, after the integer checks have passed.
std::optional<DialogRefusal> ValidateTimer(int seconds, int tenths);
std::optional<DialogRefusal> ValidateEvent(EventKind kind, const EventDialogValues& values,
                                           const CommandDialogContext& context);

// The record fields a confirmed dialog writes (not for the reference button).
void StoreEventValues(EventRecord& record, const EventDialogValues& values);
// The dialog's members for an existing record.
EventDialogValues EventValuesOf(const EventRecord& record);

}  // namespace viren
