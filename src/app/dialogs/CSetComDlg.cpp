#include "app/dialogs/CSetComDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialogs/IntSpinEdit.h"
#include "core/UiHost.h"

namespace viren {

CSetComDlg::CSetComDlg(int comNumber, UiHost& ui, QWidget* parent)
    : QDialog(parent), ui_(ui), comNumber_(comNumber) {
  setWindowTitle(QStringLiteral("COMポート設定"));

  edit_ = new IntSpinEdit;
  edit_->setObjectName(QStringLiteral("1040"));
  edit_->SetSpinRange(kSpinMinimum, kMaximum);
  edit_->SetValue(comNumber_);
  edit_->setMinimumWidth(64);

  ok_ = new QPushButton(QStringLiteral("OK"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"));
  connect(ok_, &QPushButton::clicked, this, &CSetComDlg::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("COM")));
  row->addWidget(edit_);
  row->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
}

int CSetComDlg::Ask(int current, UiHost& ui, QWidget* parent) {
  CSetComDlg dialog(current, ui, parent);
  dialog.exec();
  return dialog.comNumber();
}

void CSetComDlg::OnOk() {
  const std::optional<int> value = edit_->Value();
  if (!value) {
    FailOnEdit(MSG_ENTER_INTEGER, {});
    return;
  }
  if (*value < kMinimum || *value > kMaximum) {
    FailOnEdit(MSG_ENTER_INTEGER_BETWEEN, {std::to_string(kMinimum), std::to_string(kMaximum)});
    return;
  }
  comNumber_ = *value;
  accept();
}

void CSetComDlg::FailOnEdit(int messageId, const std::vector<std::string>& args) {
  ui_.Message(messageId, args, MsgIcon::Exclamation, MsgButtons::Ok);
  edit_->setFocus(Qt::OtherFocusReason);
  edit_->selectAll();
}

}  // namespace viren
