#include "app/CAgreementDlg.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace viren {

CAgreementDlg::CAgreementDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("免責事項"));
  auto* notice = new QLabel(
      QStringLiteral("本ソフトウェアを使用したことによって生じたいかなる損失・損害についても、"
                     "作成者は一切の責任を負いません。\n\n"
                     "I/Oコントローラーの接続を間違えると赤外線リモコンを破損するおそれがあります。"
                     "接続には十分注意してください。"));
  notice->setWordWrap(true);

  agree_ = new QRadioButton(QStringLiteral("同意します"));
  disagree_ = new QRadioButton(QStringLiteral("同意しません"));
  auto* group = new QButtonGroup(this);
  group->addButton(agree_, 0);
  group->addButton(disagree_, 1);

  ok_ = new QPushButton(QStringLiteral("OK"));
  ok_->setEnabled(false);
  ok_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"));

  connect(group, &QButtonGroup::idClicked, this, [this] { ok_->setEnabled(true); });
  connect(ok_, &QPushButton::clicked, this, [this] {
    choice_ = agree_->isChecked() ? 0 : 1;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notice);
  layout->addWidget(agree_);
  layout->addWidget(disagree_);
  layout->addLayout(buttons);
  setMinimumWidth(420);
}

}  // namespace viren
