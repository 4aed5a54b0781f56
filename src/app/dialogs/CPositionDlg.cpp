#include "app/dialogs/CPositionDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace viren {

CPositionDlg::CPositionDlg(PositionDefinitionOwner& owner, QWidget* parent)
    : QDialog(parent), owner_(owner) {
  setModal(false);
  setWindowTitle(QStringLiteral("位置範囲定義"));

  instruction_ = new QLabel(
      QStringLiteral("定義する車位置をに位置指標(チーズ)をマウス操作で移動してください。\n"
                     "(ダブルクリックすると位置が決定されます。)"));
  instruction_->setObjectName(QStringLiteral("1013"));
  instruction_->setWordWrap(true);
  instruction_->hide();
  // Kept for the range-stop variant of the window; no definition shows it.
  rangeStop_ =
      new QLabel(QStringLiteral("車がカメラの範囲外に出ると自動運転は停止します。\n"
                                "範囲の境界から離れた位置を定義してください。"));
  rangeStop_->setObjectName(QStringLiteral("1014"));
  rangeStop_->setWordWrap(true);
  rangeStop_->hide();

  ok_ = new QPushButton(QStringLiteral("OK"));
  cancel_ = new QPushButton(QStringLiteral("キャンセル"));
  connect(ok_, &QPushButton::clicked, this, &CPositionDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &CPositionDlg::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* box = new QVBoxLayout(this);
  box->addWidget(instruction_);
  box->addWidget(rangeStop_);
  box->addLayout(buttons);
  setMinimumWidth(360);
}

void CPositionDlg::Begin() {
  setWindowTitle(QStringLiteral("ｲﾍﾞﾝﾄ位置定義"));
  instruction_->show();
  show();
  raise();
}

void CPositionDlg::Dismiss() {
  QDialog::reject();
}

void CPositionDlg::accept() {
  End(true);
}

void CPositionDlg::reject() {
  End(false);
}

void CPositionDlg::End(bool accept) {
  // Hidden first: the owner may start the next definition (and a new window)
  // from its callback.
  if (accept) {
    QDialog::accept();
  } else {
    QDialog::reject();
  }
  owner_.EndPositionDefinition(accept);
}

}  // namespace viren
