#pragma once

#include <QDialog>

#include "ball/BallSystem.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace viren {

// The ball learning dialog "ボール学習ダイアログ", modeless over the live view:
// the picture size radios, recognition sensitivity and interval, learn,
// recognition test, OK and cancel. Opening it stops the ball search (see
// BallSystem::OpenBallDialog); OK or cancel (or the close box) end the
// learning through BallSystem::CloseBallDialog and hide the dialog.
//
// The window that owns it deletes a previous dialog before it opens a new
// one, and deletes the dialog before the BallSystem goes away.
class CBallDlg : public QDialog {
 public:
  // Control ids, also the widgets' object names ("radio1050", "edit1052",
  // "button4"...).
  enum ControlId {
    kSize16 = 1050,
    kSize32 = 1051,
    kSize64 = 1056,
    kSize128 = 1057,
    kThreshold = 1052,
    kInterval = 1054,
    kLearn = 4,
    kTest = 3,
    kOk = 1,
    kCancel = 2,
  };

  // An empty chooser uses the save-file dialog of the platform.
  CBallDlg(BallSystem& ball, PatternFileChooser chooser = {}, QWidget* parent = nullptr);
  ~CBallDlg() override;

  QRadioButton* radio(int id) const;
  QSpinBox* thresholdEdit() const { return threshold_; }
  QSpinBox* intervalEdit() const { return interval_; }
  QPushButton* button(int id) const;

  // A left click in the view while learning.
  void SelectBallPoint(Point point);

  void done(int result) override;

 private:
  void UpdateButtons();

  BallSystem& ball_;
  PatternFileChooser chooser_;
  QRadioButton* radios_[4] = {};
  QSpinBox* threshold_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QPushButton* learn_ = nullptr;
  QLabel* result_ = nullptr;  // what the last 学習 or 認識テスト came to
  QPushButton* test_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// The platform's save-file dialog for pattern files (".bmp", overwrite prompt).
PatternFileChooser QtPatternFileChooser(QWidget* parent);

}  // namespace viren
