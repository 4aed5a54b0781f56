#pragma once

#include <QDialog>
#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace viren {

class CCarDevices;
class CFrameAnalyser;
class CourseLayout;
class IntSpinEdit;
class Settings;
class UiHost;
struct EngineState;

// "パラメータ設定": detection sensitivity and interval, the heading marker
// colour and its sensitivity, and ROBO-Q control through the PC-OP-RS1 with
// its band, and camera-like errors of the simulated car. Every change takes effect in the running
// analysis at once; OK writes option.ini, Cancel (also Esc and closing the window) puts back the
// values the dialog found.
//
// Window thread only. The analyser's values are atomics the capture thread
// reads per frame.
class CParamDlg : public QDialog {
  Q_OBJECT
 public:
  // When OK switches ROBO-Q control on or off, the car is handed over to the
  // other device (the old one stopped and let go of first, CCarDevices::
  // SwitchDevice); then `rebuildController` rebuilds the controller window
  // for it (which ends a running automatic drive). The car shape is reloaded
  // here.
  CParamDlg(Settings& settings, EngineState& state, CFrameAnalyser& analyser, CCarDevices& devices,
            CourseLayout& layout, UiHost& ui, std::function<void()> rebuildController,
            QWidget* parent = nullptr);

  // The ROBO-Q band chosen in the list (0..3 = "A".."D"). OK hands it to an
  // open transmitter at once.
  int roboQBand() const { return band_; }

  IntSpinEdit* sensitivityEdit() const { return diffEdit_; }    // 1026/1027
  IntSpinEdit* intervalEdit() const { return compareEdit_; }    // 1028/1029
  QCheckBox* roboQCheck() const { return roboQCheck_; }         // 1042
  QComboBox* bandList() const { return bandList_; }             // 1044
  QCheckBox* colourCheck(int colour) const;                     // 1045..1047 for 1..3
  IntSpinEdit* markerLevelEdit() const { return markerEdit_; }  // 1030/1031
  // Shows the difference image in the view while the dialog is open, so the
  // effect of the levels is seen as they change. Enabled only over a live
  // camera picture; the view returns to what it was when the dialog closes.
  QCheckBox* differencePreview() const { return differencePreview_; }
  // Camera-like errors on the simulated car's position (noise, dropped
  // frames, delay), live; OK stores a change in option.ini's [SIMULATION].
  QCheckBox* cameraErrorsCheck() const { return cameraErrors_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 public slots:
  void reject() override;
  void done(int result) override;

 private:
  struct Remembered {
    int diffLevel;
    int compareFrame;
    bool controlRoboQ;
    int markerCheck;
    int markerLevel;
    bool cameraErrors;
  };

  // An edit of the live integers: in range it becomes the engine value,
  // outside the edit shows the engine value again, empty changes nothing.
  void ConnectLiveEdit(IntSpinEdit* edit, int minimum, int maximum, std::function<int()> current,
                       std::function<void(int)> apply);
  void OnRoboQClicked(bool on);
  void OnColourClicked(int colour, bool on);
  void OnOk();
  void RestoreOpeningValues();

  Settings& settings_;
  EngineState& state_;
  CFrameAnalyser& analyser_;
  CCarDevices& devices_;
  CourseLayout& layout_;
  UiHost& ui_;
  std::function<void()> rebuildController_;

  Remembered opening_{};
  int openingViewMode_ = 0;
  int band_ = 0;

  IntSpinEdit* diffEdit_;
  IntSpinEdit* compareEdit_;
  QCheckBox* roboQCheck_;
  QComboBox* bandList_;
  std::array<QCheckBox*, 3> colourChecks_{};
  IntSpinEdit* markerEdit_;
  QCheckBox* differencePreview_;
  QCheckBox* cameraErrors_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace viren
