#pragma once

#include <QAbstractSpinBox>
#include <optional>

namespace viren {

// An integer edit with up/down arrows whose typed text is not bound by the
// arrows' range: the arrows step within [spinMinimum, spinMaximum], while the
// edit takes any signed integer (and may be empty), so the dialog decides
// what a typed value means. Clicking an arrow while the text is outside the
// range or not a number lands on the nearest bound.
class IntSpinEdit : public QAbstractSpinBox {
  Q_OBJECT
 public:
  explicit IntSpinEdit(QWidget* parent = nullptr);

  void SetSpinRange(int minimum, int maximum);
  int spinMinimum() const { return minimum_; }
  int spinMaximum() const { return maximum_; }

  // The text as a signed integer: optional sign and digits, blanks around
  // them allowed. Empty for an empty or non-numeric text.
  std::optional<int> Value() const;
  void SetValue(int value);
  QString text() const;
  void SetText(const QString& text);
  // The edit part, for keyboard input and selection.
  QLineEdit* editor() const { return lineEdit(); }

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;

 signals:
  // Every change of the text, typed, stepped or set.
  void textChanged(const QString& text);

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int minimum_ = 0;
  int maximum_ = 100;
};

// The integer in `text` as the dialogs read an edit: optional blanks, an
// optional sign and digits, nothing else; empty when it is not such a number
// or does not fit an int.
std::optional<int> ParseDialogInt(const QString& text);

}  // namespace viren
