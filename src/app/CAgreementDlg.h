#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;

namespace viren {

// The disclaimer shown once at the first start. OK is enabled only after one
// of the two choices was clicked; choice() is -1 (none), 0 agree, 1 do not.
class CAgreementDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAgreementDlg(QWidget* parent = nullptr);
  int choice() const { return choice_; }

  QRadioButton* agreeButton() const { return agree_; }
  QRadioButton* disagreeButton() const { return disagree_; }
  QPushButton* okButton() const { return ok_; }

 private:
  int choice_ = -1;
  QRadioButton* agree_;
  QRadioButton* disagree_;
  QPushButton* ok_;
};

}  // namespace viren
