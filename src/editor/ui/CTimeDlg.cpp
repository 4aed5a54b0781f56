#include "editor/ui/CTimeDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/Messages.h"
#include "editor/ui/DialogSupport.h"
#include "editor/ui/SpinButtons.h"

namespace viren {

CTimeDlg::CTimeDlg(int seconds, int tenths, UiHost& ui, QWidget* parent)
    : QDialog(parent),
      ui_(ui),
      seconds_(seconds),
      tenths_(tenths),
      secondsEdit_(new QLineEdit(this)),
      tenthsEdit_(new QLineEdit(this)),
      secondsSpin_(new SpinButtons(secondsEdit_, this)),
      tenthsSpin_(new SpinButtons(tenthsEdit_, this)),
      realClock_(new QCheckBox(QStringLiteral("実際の時刻で行う"), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("キャンセル"), this)) {
  setWindowTitle(Utf8(MessageText(MSG_TIMER_CAPTION)));
  secondsEdit_->setObjectName(ControlName(IDC_TIME_SECONDS));
  tenthsEdit_->setObjectName(ControlName(IDC_TIME_TENTHS));
  secondsSpin_->setObjectName(ControlName(IDC_TIME_SECONDS_SPIN));
  tenthsSpin_->setObjectName(ControlName(IDC_TIME_TENTHS_SPIN));
  realClock_->setObjectName(ControlName(IDC_TIME_REAL_CLOCK));
  secondsSpin_->SetRange(0, 60);
  tenthsSpin_->SetRange(0, 9);
  secondsEdit_->setText(QString::number(seconds));
  tenthsEdit_->setText(QString::number(tenths));
  // Kept from the form, never offered.
  realClock_->setEnabled(false);
  realClock_->hide();

  auto* secondsLabel = new QLabel(QStringLiteral("秒"), this);
  secondsLabel->setObjectName(ControlName(IDC_TIME_SECONDS_LABEL));
  auto* tenthsLabel = new QLabel(QStringLiteral("1/10秒"), this);
  tenthsLabel->setObjectName(ControlName(IDC_TIME_TENTHS_LABEL));

  auto* grid = new QGridLayout(this);
  grid->addWidget(secondsEdit_, 0, 0);
  grid->addWidget(secondsSpin_, 0, 1);
  grid->addWidget(secondsLabel, 0, 2);
  grid->addWidget(tenthsEdit_, 0, 3);
  grid->addWidget(tenthsSpin_, 0, 4);
  grid->addWidget(tenthsLabel, 0, 5);
  grid->addWidget(realClock_, 1, 0, 1, 6);
  grid->addWidget(ok_, 2, 3, 1, 2);
  grid->addWidget(cancel_, 2, 5);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &CTimeDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &CTimeDlg::reject);
  secondsEdit_->setFocus();
  secondsEdit_->selectAll();
}

void CTimeDlg::accept() {
  int seconds = 0;
  int tenths = 0;
  if (!ExchangeEdit(ui_, secondsEdit_, 0, kTimerSecondsMax, IDC_TIME_SECONDS, seconds)) return;
  if (!ExchangeEdit(ui_, tenthsEdit_, 0, kTimerTenthsMax, IDC_TIME_TENTHS, tenths)) return;
  if (const auto refused = ValidateTimer(seconds, tenths)) {
    ShowRefusal(ui_, refused->control == IDC_TIME_SECONDS ? secondsEdit_ : tenthsEdit_, *refused);
    return;
  }
  seconds_ = seconds;
  tenths_ = tenths;
  QDialog::accept();
}

}  // namespace viren
