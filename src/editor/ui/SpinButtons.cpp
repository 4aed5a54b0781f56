#include "editor/ui/SpinButtons.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/CommandDialogRules.h"

namespace viren {

SpinButtons::SpinButtons(QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), buddy_(buddy), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFixedSize(16, 11);
    b->setFocusPolicy(Qt::NoFocus);
    column->addWidget(b);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  connect(up_, &QToolButton::clicked, this, [this] { StepBy(1); });
  connect(down_, &QToolButton::clicked, this, [this] { StepBy(-1); });
}

void SpinButtons::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
}

void SpinButtons::StepBy(int steps) {
  int value = 0;
  const auto refused = ExchangeInt(buddy_->text().toStdString(), minimum_, maximum_, 0, value);
  int next = 0;
  if (!refused) {
    next = std::clamp(value + steps, minimum_, maximum_);
  } else if (refused->messageId == MSG_ENTER_INTEGER) {
    next = steps > 0 ? minimum_ : maximum_;
  } else {
    // Outside the range: the nearest bound.
    const long long typed = buddy_->text().trimmed().toLongLong();
    next = typed < minimum_ ? minimum_ : maximum_;
  }
  buddy_->setText(QString::number(next));
}

}  // namespace viren
