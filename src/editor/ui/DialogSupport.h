#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <string_view>

#include "editor/CommandDialogRules.h"

class QLineEdit;

namespace viren {

class UiHost;

inline QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Hands the keyboard back, when a modal dialog or message box ends, to the
// window that had it before (else to `fallback`'s window). A window manager
// does this by itself; on a bare X server nobody does, and the next key,
// Alt+F say, would reach no window at all.
class KeyboardReturn {
 public:
  explicit KeyboardReturn(QWidget* fallback);
  ~KeyboardReturn();
  KeyboardReturn(const KeyboardReturn&) = delete;
  KeyboardReturn& operator=(const KeyboardReturn&) = delete;

 private:
  QPointer<QWidget> window_;
};

// The object name of a dialog control: "control1007".
QString ControlName(int id);

// Focus on the field to correct (its text selected), then the message.
void ShowRefusal(UiHost& ui, QWidget* field, const DialogRefusal& refusal);

// The integer check of one edit; false after a refusal has been shown.
bool ExchangeEdit(UiHost& ui, QLineEdit* edit, int minimum, int maximum, int control, int& value);

}  // namespace viren
