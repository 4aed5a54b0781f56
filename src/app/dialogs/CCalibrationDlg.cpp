#include "app/dialogs/CCalibrationDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "simulation/Calibration.h"

namespace viren {
namespace {

QString PhaseText(CalibrationPhase phase) {
  switch (phase) {
    case CalibrationPhase::Waiting:
      return QStringLiteral("カメラが車を見つけるのを待っています…");
    case CalibrationPhase::Straight:
      return QStringLiteral("直進しています…");
    case CalibrationPhase::Left:
      return QStringLiteral("左いっぱいに曲がっています…");
    case CalibrationPhase::Right:
      return QStringLiteral("右いっぱいに曲がっています…");
    case CalibrationPhase::Done:
      break;
  }
  return QStringLiteral("終わりました。");
}

}  // namespace

CCalibrationDlg::CCalibrationDlg(const CalibrationRun& run, int stepMs, QWidget* parent)
    : QDialog(parent),
      run_(run),
      stepMs_(stepMs),
      phase_(new QLabel(this)),
      result_(new QLabel(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("キャンセル"), this)),
      timer_(new QTimer(this)) {
  setWindowTitle(QStringLiteral("シミュレーションの較正"));
  auto* explain = new QLabel(
      QStringLiteral(
          "車をコースの中ほどに置いてください。車は 2 秒直進し、左いっぱい、右いっぱいに "
          "3 秒ずつ曲がって止まります。カメラで測った速度と回転半径を、OK でシミュレーシ"
          "ョンの車に使います。Esc でいつでも止まります。"),
      this);
  explain->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  ok_->setEnabled(false);
  ok_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(explain);
  layout->addWidget(phase_);
  layout->addWidget(result_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(timer_, &QTimer::timeout, this, &CCalibrationDlg::Follow);
  timer_->start(100);
  Follow();
}

QString CCalibrationDlg::phaseText() const {
  return phase_->text();
}

QString CCalibrationDlg::resultText() const {
  return result_->text();
}

void CCalibrationDlg::Follow() {
  phase_->setText(PhaseText(run_.phase()));
  if (run_.running()) return;
  timer_->stop();
  const CalibrationResult result = run_.Result();
  if (!result.valid) {
    result_->setText(
        QStringLiteral("測れませんでした: 車が最後まで見えていませんでした。置き場所と照明を確かめ"
                       "てやり直してください。"));
    return;
  }
  result_->setText(QStringLiteral("速度 %1 px/秒、回転半径 %2 px (左 %3、右 %4)\n"
                                  "POSITION_STEP %5、DIRECTION_STEP %6")
                       .arg(result.speed, 0, 'f', 1)
                       .arg(result.radius(), 0, 'f', 1)
                       .arg(result.radiusLeft, 0, 'f', 1)
                       .arg(result.radiusRight, 0, 'f', 1)
                       .arg(result.PositionStep(stepMs_), 0, 'f', 3)
                       .arg(result.DirectionStep(stepMs_), 0, 'f', 4));
  ok_->setEnabled(true);
}

}  // namespace viren
