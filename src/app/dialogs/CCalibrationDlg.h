#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace viren {

class CalibrationRun;

// "シミュレーションの較正": follows the manoeuvre that the calibration drives,
// shows what it measured and offers to keep it. OK is there only for a valid
// measurement; Cancel and Esc end a manoeuvre still under way (the car is let
// go of by the run itself).
class CCalibrationDlg : public QDialog {
  Q_OBJECT
 public:
  // `run` has been started. `stepMs`: the simulation's time step, for the
  // steps shown.
  CCalibrationDlg(const CalibrationRun& run, int stepMs, QWidget* parent = nullptr);

  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QString phaseText() const;
  QString resultText() const;

 private:
  void Follow();

  const CalibrationRun& run_;
  int stepMs_;
  QLabel* phase_;
  QLabel* result_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QTimer* timer_;
};

}  // namespace viren
