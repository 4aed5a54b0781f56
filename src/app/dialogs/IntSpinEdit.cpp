#include "app/dialogs/IntSpinEdit.h"

#include <QLineEdit>
#include <algorithm>

namespace viren {

std::optional<int> ParseDialogInt(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  int start = 0;
  if (trimmed[0] == QLatin1Char('-') || trimmed[0] == QLatin1Char('+')) start = 1;
  if (start == trimmed.size()) return std::nullopt;
  for (int i = start; i < trimmed.size(); ++i) {
    if (trimmed[i] < QLatin1Char('0') || trimmed[i] > QLatin1Char('9')) return std::nullopt;
  }
  bool ok = false;
  const int value = trimmed.toInt(&ok);
  if (!ok) return std::nullopt;
  return value;
}

IntSpinEdit::IntSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  setAccelerated(false);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setKeyboardTracking(true);
  connect(lineEdit(), &QLineEdit::textChanged, this, &IntSpinEdit::textChanged);
}

void IntSpinEdit::SetSpinRange(int minimum, int maximum) {
  minimum_ = std::min(minimum, maximum);
  maximum_ = std::max(minimum, maximum);
  update();
}

std::optional<int> IntSpinEdit::Value() const {
  return ParseDialogInt(lineEdit()->text());
}

void IntSpinEdit::SetValue(int value) {
  SetText(QString::number(value));
}

QString IntSpinEdit::text() const {
  return lineEdit()->text();
}

void IntSpinEdit::SetText(const QString& text) {
  lineEdit()->setText(text);
}

void IntSpinEdit::stepBy(int steps) {
  const std::optional<int> current = Value();
  int next = 0;
  if (!current) {
    next = steps > 0 ? minimum_ : maximum_;
  } else if (*current < minimum_) {
    next = minimum_;
  } else if (*current > maximum_) {
    next = maximum_;
  } else {
    const long long stepped = static_cast<long long>(*current) + steps;
    next = static_cast<int>(std::clamp<long long>(stepped, minimum_, maximum_));
  }
  SetValue(next);
  lineEdit()->selectAll();
}

QValidator::State IntSpinEdit::validate(QString& input, int& /*pos*/) const {
  // Digits and a leading sign may be typed; the dialog judges the value.
  for (int i = 0; i < input.size(); ++i) {
    const QChar c = input[i];
    const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
    const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!sign && !digit && c != QLatin1Char(' ')) return QValidator::Invalid;
  }
  return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled IntSpinEdit::stepEnabled() const {
  if (!isEnabled()) return StepNone;
  const std::optional<int> current = Value();
  if (!current) return StepUpEnabled | StepDownEnabled;
  StepEnabled enabled = StepNone;
  if (*current < maximum_) enabled |= StepUpEnabled;
  if (*current > minimum_) enabled |= StepDownEnabled;
  return enabled;
}

}  // namespace viren
