#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "core/Messages.h"

class QPushButton;

namespace viren {

class IntSpinEdit;
class UiHost;

// "COMポート設定": a COM port number above 9 (the menu lists 1..9). The arrows
// run from 10 to 99; any number from 1 to 99 may be typed. OK checks the
// number and keeps the dialog open with the edit focused until it is valid.
//
// Window thread only.
class CSetComDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMinimum = 1;
  static constexpr int kMaximum = 99;
  static constexpr int kSpinMinimum = 10;

  CSetComDlg(int comNumber, UiHost& ui, QWidget* parent = nullptr);

  // The number after OK; the one given to the constructor otherwise.
  int comNumber() const { return comNumber_; }

  // Runs the dialog: the number chosen, or `current` after cancel. The caller
  // takes it to CCarDevices::SelectComPort either way, which writes COM_NO and
  // re-opens the device.
  static int Ask(int current, UiHost& ui, QWidget* parent);

  IntSpinEdit* edit() const { return edit_; }  // 1040/1041
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  void OnOk();
  void FailOnEdit(int messageId, const std::vector<std::string>& args);

  UiHost& ui_;
  int comNumber_;
  IntSpinEdit* edit_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace viren
