#include "app/dialogs/CParamDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialogs/IntSpinEdit.h"
#include "core/EngineState.h"
#include "core/UiHost.h"
#include "device/CCarDevices.h"
#include "layout/CourseLayout.h"
#include "settings/Settings.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

namespace {

// Typed limits of the edits; the interval's arrows stop earlier, at 30.
constexpr int kDiffLevelMin = 1;
constexpr int kDiffLevelMax = 99;
constexpr int kCompareFrameMin = 1;
constexpr int kCompareFrameMax = 99;
constexpr int kCompareFrameSpinMax = 30;
constexpr int kMarkerLevelMin = 1;
constexpr int kMarkerLevelMax = 255;

IntSpinEdit* MakeEdit(const char* name, int spinMin, int spinMax, int value) {
  auto* edit = new IntSpinEdit;
  edit->setObjectName(QString::fromLatin1(name));
  edit->SetSpinRange(spinMin, spinMax);
  edit->SetValue(value);
  edit->setMinimumWidth(64);
  return edit;
}

}  // namespace

CParamDlg::CParamDlg(Settings& settings, EngineState& state, CFrameAnalyser& analyser,
                     CCarDevices& devices, CourseLayout& layout, UiHost& ui,
                     std::function<void()> rebuildController, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      state_(state),
      analyser_(analyser),
      devices_(devices),
      layout_(layout),
      ui_(ui),
      rebuildController_(std::move(rebuildController)) {
  setWindowTitle(QStringLiteral("パラメータ設定"));

  opening_ = {analyser_.diffLevel(),   analyser_.compareFrame(), state_.controlRoboQ.load(),
              analyser_.markerCheck(), analyser_.markerLevel(),  state_.cameraErrors.load()};
  band_ = settings_.ReadInt(keys::ROBOQ_BAND);
  openingViewMode_ = state_.viewMode;

  diffEdit_ = MakeEdit("1026", kDiffLevelMin, kDiffLevelMax, opening_.diffLevel);
  compareEdit_ = MakeEdit("1028", kCompareFrameMin, kCompareFrameSpinMax, opening_.compareFrame);
  markerEdit_ = MakeEdit("1030", kMarkerLevelMin, kMarkerLevelMax, opening_.markerLevel);

  roboQCheck_ = new QCheckBox(QStringLiteral("PC-OP-RS1でROBO-Qを制御する"));
  roboQCheck_->setObjectName(QStringLiteral("1042"));
  roboQCheck_->setChecked(opening_.controlRoboQ);
  bandList_ = new QComboBox;
  bandList_->setObjectName(QStringLiteral("1044"));
  bandList_->addItems(
      {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
  // A band outside A..D in option.ini selects no line and is written back as
  // it stands unless a line is chosen.
  bandList_->setCurrentIndex(band_ >= 0 && band_ <= 3 ? band_ : -1);
  bandList_->setEnabled(opening_.controlRoboQ);

  const char* colourNames[3] = {"赤色", "緑色", "青色"};
  for (int i = 0; i < 3; ++i) {
    colourChecks_[i] = new QCheckBox(QString::fromUtf8(colourNames[i]));
    colourChecks_[i]->setObjectName(QString::number(1045 + i));
    colourChecks_[i]->setChecked(opening_.markerCheck == i + 1);
  }

  differencePreview_ = new QCheckBox(QStringLiteral("差分画像を表示する"));
  differencePreview_->setObjectName(QStringLiteral("differencePreview"));
  const bool cameraView = openingViewMode_ == VIEW_LIVE || openingViewMode_ == VIEW_DIFFERENCE;
  differencePreview_->setEnabled(cameraView && state_.captureRunning && !state_.simulating);
  differencePreview_->setChecked(openingViewMode_ == VIEW_DIFFERENCE);
  connect(differencePreview_, &QCheckBox::toggled, this, [this](bool on) {
    // Live and difference views differ only in the picture drawn: the frame
    // analysis paints whichever the mode names from the next frame on.
    state_.viewMode = on ? VIEW_DIFFERENCE : VIEW_LIVE;
  });

  cameraErrors_ = new QCheckBox(QStringLiteral("シミュレーションにカメラの誤差を加える"));
  cameraErrors_->setObjectName(QStringLiteral("cameraErrors"));
  cameraErrors_->setToolTip(QStringLiteral(
      "位置のばらつき・見失うフレーム・遅れ（VIREN.ini の [SIMULATION] CAMERA_...）"));
  cameraErrors_->setChecked(opening_.cameraErrors);
  connect(cameraErrors_, &QCheckBox::toggled, this, [this](bool on) { state_.cameraErrors = on; });

  // The live changes.
  ConnectLiveEdit(
      diffEdit_, kDiffLevelMin, kDiffLevelMax, [this] { return analyser_.diffLevel(); },
      [this](int v) { analyser_.SetDiffLevel(v); });
  ConnectLiveEdit(
      compareEdit_, kCompareFrameMin, kCompareFrameMax, [this] { return analyser_.compareFrame(); },
      [this](int v) { analyser_.SetCompareFrame(v); });
  ConnectLiveEdit(
      markerEdit_, kMarkerLevelMin, kMarkerLevelMax, [this] { return analyser_.markerLevel(); },
      [this](int v) { analyser_.SetMarkerLevel(v); });
  connect(roboQCheck_, &QCheckBox::clicked, this, &CParamDlg::OnRoboQClicked);
  connect(bandList_, &QComboBox::activated, this, [this](int index) {
    if (index >= 0) band_ = index;
  });
  for (int i = 0; i < 3; ++i) {
    connect(colourChecks_[i], &QCheckBox::clicked, this,
            [this, i](bool on) { OnColourClicked(i + 1, on); });
  }

  ok_ = new QPushButton(QStringLiteral("OK"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"));
  connect(ok_, &QPushButton::clicked, this, &CParamDlg::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &CParamDlg::reject);

  // Layout.
  auto* detection = new QGridLayout;
  detection->addWidget(new QLabel(QStringLiteral("位置検出感度")), 0, 0);
  detection->addWidget(diffEdit_, 0, 1);
  detection->addWidget(new QLabel(QStringLiteral("%")), 0, 2);
  detection->addWidget(new QLabel(QStringLiteral("位置検出間隔")), 1, 0);
  detection->addWidget(compareEdit_, 1, 1);
  detection->addWidget(new QLabel(QStringLiteral("ﾌﾚｰﾑ")), 1, 2);

  auto* roboQ = new QHBoxLayout;
  roboQ->addWidget(roboQCheck_);
  roboQ->addStretch();
  roboQ->addWidget(new QLabel(QStringLiteral("ROBO-Qバンド")));
  roboQ->addWidget(bandList_);

  auto* marker = new QGroupBox(QStringLiteral("マーカーによる向きの検出"));
  auto* markerLayout = new QHBoxLayout(marker);
  for (QCheckBox* box : colourChecks_) markerLayout->addWidget(box);
  markerLayout->addSpacing(12);
  markerLayout->addWidget(new QLabel(QStringLiteral("検出感度")));
  markerLayout->addWidget(markerEdit_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* layoutBox = new QVBoxLayout(this);
  layoutBox->addLayout(detection);
  layoutBox->addLayout(roboQ);
  layoutBox->addWidget(marker);
  layoutBox->addWidget(differencePreview_);
  layoutBox->addWidget(cameraErrors_);
  layoutBox->addLayout(buttons);
}

QCheckBox* CParamDlg::colourCheck(int colour) const {
  return colour >= 1 && colour <= 3 ? colourChecks_[colour - 1] : nullptr;
}

void CParamDlg::ConnectLiveEdit(IntSpinEdit* edit, int minimum, int maximum,
                                std::function<int()> current, std::function<void(int)> apply) {
  connect(edit, &IntSpinEdit::textChanged, this,
          [edit, minimum, maximum, current = std::move(current),
           apply = std::move(apply)](const QString& text) {
            if (text.isEmpty()) return;
            const std::optional<int> value = ParseDialogInt(text);
            if (value && *value >= minimum && *value <= maximum) {
              apply(*value);
            } else {
              edit->SetValue(current());
            }
          });
}

void CParamDlg::OnRoboQClicked(bool on) {
  state_.controlRoboQ = on;
  bandList_->setEnabled(on);
}

void CParamDlg::OnColourClicked(int colour, bool on) {
  if (on) {
    for (int i = 0; i < 3; ++i) {
      if (i + 1 != colour) colourChecks_[i]->setChecked(false);
    }
    analyser_.SetMarkerCheck(colour);
  } else {
    analyser_.SetMarkerCheck(0);
  }
  markerEdit_->setEnabled(analyser_.markerCheck() != 0);
}

void CParamDlg::OnOk() {
  // Only a change is stored: option.ini's value stands over VIREN.ini's.
  if (state_.cameraErrors != opening_.cameraErrors) {
    settings_.WriteSettingString(keys::CAMERA_ERRORS.section, keys::CAMERA_ERRORS.key,
                                 state_.cameraErrors ? "1" : "0", settings_.optionFile());
  }
  settings_.WriteInt(keys::DIFF_LEVEL, analyser_.diffLevel());
  settings_.WriteInt(keys::COMPARE_FRAME, analyser_.compareFrame());

  if (state_.controlRoboQ) {
    settings_.WriteInt(keys::ROBOQ_BAND, band_);
    devices_.roboQ().SetBand(band_);
    if (!devices_.roboQ().isOpen()) {
      const MsgAnswer answer =
          ShowMessage(ui_, MSG_CONTROL_ROBOQ, MsgIcon::Question, MsgButtons::YesNo);
      if (answer != MsgAnswer::Yes) {
        state_.controlRoboQ = false;
        // The marker values stay in effect but are not written. When ROBO-Q
        // control was on as the dialog opened, the refusal switches it off for
        // good: option.ini and the controller window follow, or the next
        // start would come back in the mode just declined.
        if (opening_.controlRoboQ) {
          settings_.WriteInt(keys::CONTROL_ROBOQ, 0);
          devices_.SwitchDevice(false);
          if (rebuildController_) rebuildController_();
          if (layout_.carType() == CAR_GRAPHIC) layout_.ReloadCarShape();
        }
        QDialog::accept();
        return;
      }
      // A transmitter that does not open leaves ROBO-Q control on; choosing
      // a COM port opens it later.
      if (opening_.controlRoboQ)
        devices_.RoboQOpen();
      else
        devices_.SwitchDevice(true);
    } else if (!opening_.controlRoboQ) {
      devices_.SwitchDevice(true);
    }
  } else if (opening_.controlRoboQ) {
    // The relay board takes the port over from the transmitter.
    devices_.SwitchDevice(false);
  }

  const bool controlRoboQ = state_.controlRoboQ;
  const int markerCheck = analyser_.markerCheck();
  settings_.WriteInt(keys::CONTROL_ROBOQ, controlRoboQ ? 1 : 0);
  settings_.WriteInt(keys::MARKER_CHECK, markerCheck);
  if (markerCheck != 0) settings_.WriteInt(keys::MARKER_LEVEL, analyser_.markerLevel());

  if (controlRoboQ != opening_.controlRoboQ) {
    if (rebuildController_) rebuildController_();
    if (layout_.carType() == CAR_GRAPHIC) layout_.ReloadCarShape();
  }
  QDialog::accept();
}

void CParamDlg::done(int result) {
  if (differencePreview_->isEnabled()) state_.viewMode = openingViewMode_;
  QDialog::done(result);
}

void CParamDlg::reject() {
  RestoreOpeningValues();
  QDialog::reject();
}

void CParamDlg::RestoreOpeningValues() {
  analyser_.SetDiffLevel(opening_.diffLevel);
  analyser_.SetCompareFrame(opening_.compareFrame);
  state_.controlRoboQ = opening_.controlRoboQ;
  analyser_.SetMarkerCheck(opening_.markerCheck);
  analyser_.SetMarkerLevel(opening_.markerLevel);
  state_.cameraErrors = opening_.cameraErrors;
}

}  // namespace viren
