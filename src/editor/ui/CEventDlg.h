#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "editor/CommandDialogRules.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace viren {

class SpinButtons;
class UiHost;

// The parameter dialog of the car, handle, position, repeat, sound and ball
// commands: one form whose caption, choices, labels, visible controls and
// spin ranges are set for the kind when it opens. Clicking a choice or the
// check box enables what that choice uses. OK checks the two integers
// (0..999) and then the kind's limits, refusing with a message and the focus
// on the field to correct. The position dialog's reference button closes it
// with option kReferenceOption (the point is then placed with the mouse).
// Modal, window thread.
class CEventDlg : public QDialog {
 public:
  CEventDlg(EventKind kind, const EventDialogValues& values, const CommandDialogContext& context,
            UiHost& ui, QWidget* parent = nullptr);

  const EventDialogValues& values() const { return values_; }
  EventKind kind() const { return kind_; }

  QRadioButton* radio(int index) const { return radios_[index]; }  // 0..3: 1003..1006
  QLineEdit* value1Edit() const { return value1_; }                // 1007
  QLineEdit* value2Edit() const { return value2_; }                // 1008
  SpinButtons* value1Spin() const { return spin1_; }               // 1012
  SpinButtons* value2Spin() const { return spin2_; }               // 1013
  QLabel* label1() const { return label1_; }                       // 1009
  QLabel* label2() const { return label2_; }                       // 1010
  QCheckBox* checkBox() const { return check_; }                   // 1035
  QPushButton* referenceButton() const { return reference_; }      // 1011
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

  void accept() override;

  // The sound command's "サウンド設定" button runs this: it shows the sound
  // list and returns the number of sounds listed afterwards.
  void SetSoundListEditor(std::function<int()> edit) { editSoundList_ = std::move(edit); }

 private:
  void ReadChoices();
  void ApplyEnabling();
  void OnReference();
  bool ExchangeEdits();

  EventKind kind_;
  EventDialogValues values_;
  CommandDialogContext context_;
  EventDialogSetup setup_;
  UiHost& ui_;
  std::function<int()> editSoundList_;

  std::array<QRadioButton*, 5> radios_{};
  QButtonGroup* group_;
  QLineEdit* value1_;
  QLineEdit* value2_;
  SpinButtons* spin1_;
  SpinButtons* spin2_;
  QLabel* label1_;
  QLabel* label2_;
  QCheckBox* check_;
  QPushButton* reference_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace viren
