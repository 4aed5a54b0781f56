#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace viren {

// Who runs a position definition: the program editor. Called once when the
// person ends it with OK (accept) or with cancel or by closing the window
// (not accepted). A definition already accepted by a double click on the
// marker closes the window too, so a call without accept must do nothing
// when no definition is in progress.
class PositionDefinitionOwner {
 public:
  virtual ~PositionDefinitionOwner() = default;
  virtual void EndPositionDefinition(bool accept) = 0;
};

// "ｲﾍﾞﾝﾄ位置定義": the modeless window beside the main frame while the person
// drags the position marker (the cheese) to the car position a position
// command is to wait for. The owner makes one per definition and deletes the
// previous one (with deleteLater when inside its callback).
//
// Window thread only.
class CPositionDlg : public QDialog {
  Q_OBJECT
 public:
  CPositionDlg(PositionDefinitionOwner& owner, QWidget* parent = nullptr);

  // Titles the window, shows the instruction and shows the window.
  void Begin();
  // Hides the window without telling the owner (after the owner ended the
  // definition itself).
  void Dismiss();

  QLabel* instructionText() const { return instruction_; }  // 1013
  QLabel* rangeStopText() const { return rangeStop_; }      // 1014
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 public slots:
  void accept() override;
  void reject() override;

 private:
  void End(bool accept);

  PositionDefinitionOwner& owner_;
  QLabel* instruction_;
  QLabel* rangeStop_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace viren
