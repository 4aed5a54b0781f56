#pragma once

#include <QDialog>

#include "editor/CommandDialogRules.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace viren {

class SpinButtons;
class UiHost;

// "タイマー設定": whole seconds and tenths of a timer command. OK checks the
// integers (0..60, 0..59), then the timer's rule (0..59 seconds, one digit of
// tenths, not both zero) with MSG_TIMER_RANGE and the focus on the field to
// correct. Modal, window thread.
class CTimeDlg : public QDialog {
 public:
  CTimeDlg(int seconds, int tenths, UiHost& ui, QWidget* parent = nullptr);

  int seconds() const { return seconds_; }
  int tenths() const { return tenths_; }

  QLineEdit* secondsEdit() const { return secondsEdit_; }  // 1004
  QLineEdit* tenthsEdit() const { return tenthsEdit_; }    // 1006
  SpinButtons* secondsSpin() const { return secondsSpin_; }
  SpinButtons* tenthsSpin() const { return tenthsSpin_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

  void accept() override;

 private:
  UiHost& ui_;
  int seconds_;
  int tenths_;
  QLineEdit* secondsEdit_;
  QLineEdit* tenthsEdit_;
  SpinButtons* secondsSpin_;
  SpinButtons* tenthsSpin_;
  QCheckBox* realClock_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace viren
