#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace viren {

// The up/down arrows beside a dialog's number edit. The arrows step within
// their own range; what may be typed into the edit is not bound by it (the
// dialog checks the typed value on OK). An arrow on a text outside the range
// or not a number lands on the nearest bound.
class SpinButtons : public QWidget {
 public:
  SpinButtons(QLineEdit* buddy, QWidget* parent = nullptr);

  void SetRange(int minimum, int maximum);
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  void StepBy(int steps);

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 private:
  QLineEdit* buddy_;
  QToolButton* up_;
  QToolButton* down_;
  int minimum_ = 0;
  int maximum_ = 100;
};

}  // namespace viren
