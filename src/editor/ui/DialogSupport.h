#pragma once

#include <QString>
#include <string_view>

#include "editor/CommandDialogRules.h"

class QLineEdit;
class QWidget;

namespace viren {

class UiHost;

inline QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The object name of a dialog control: "control1007".
QString ControlName(int id);

// Focus on the field to correct (its text selected), then the message.
void ShowRefusal(UiHost& ui, QWidget* field, const DialogRefusal& refusal);

// The integer check of one edit; false after a refusal has been shown.
bool ExchangeEdit(UiHost& ui, QLineEdit* edit, int minimum, int maximum, int control, int& value);

}  // namespace viren
