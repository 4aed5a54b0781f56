#include "app/CCheckDock.h"

#include <QListWidget>

#include "program/ProgramCheck.h"

namespace viren {

CCheckDock::CCheckDock(QWidget* parent) : QDockWidget(QStringLiteral("チェック結果"), parent) {
  setObjectName(QStringLiteral("checkResults"));
  list_ = new QListWidget(this);
  setWidget(list_);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const QVariant command = item->data(Qt::UserRole);
    if (command.isValid()) emit commandChosen(command.toInt());
  });
}

void CCheckDock::ShowFindings(const std::vector<CheckFinding>& findings) {
  list_->clear();
  if (findings.empty()) {
    list_->addItem(QStringLiteral("問題は見つかりませんでした"));
    return;
  }
  for (const CheckFinding& f : findings) {
    const bool error = f.severity == CheckSeverity::Error;
    auto* item =
        new QListWidgetItem(QStringLiteral("コマンド%1: [%2] %3")
                                .arg(f.command)
                                .arg(error ? QStringLiteral("エラー") : QStringLiteral("警告"))
                                .arg(QString::fromStdString(f.text)),
                            list_);
    item->setData(Qt::UserRole, f.command);
    item->setForeground(error ? QColor(200, 0, 0) : QColor(160, 90, 0));
  }
}

}  // namespace viren
