#include "app/dialogs/CBorderDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialogs/IntSpinEdit.h"
#include "core/EngineState.h"
#include "core/Geometry.h"
#include "layout/CourseLayout.h"

namespace viren {

CBorderDlg::CBorderDlg(CourseLayout& layout, EngineState& state, QWidget* parent)
    : QDialog(parent), layout_(layout), state_(state) {
  setWindowTitle(QStringLiteral("コース範囲設定"));

  layout_.BeginCourseRangeEdit();
  state_.showCourseRange = true;

  widthEdit_ = new IntSpinEdit;
  widthEdit_->setObjectName(QStringLiteral("1030"));
  widthEdit_->SetSpinRange(1, kLayoutWidth);
  widthEdit_->SetValue(layout_.borderWidth());
  heightEdit_ = new IntSpinEdit;
  heightEdit_->setObjectName(QStringLiteral("1032"));
  heightEdit_->SetSpinRange(1, kLayoutHeight);
  heightEdit_->SetValue(layout_.borderHeight());
  connect(widthEdit_, &IntSpinEdit::textChanged, this, [this] { OnEdited(widthEdit_, true); });
  connect(heightEdit_, &IntSpinEdit::textChanged, this, [this] { OnEdited(heightEdit_, false); });

  ok_ = new QPushButton(QStringLiteral("OK"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"));
  connect(ok_, &QPushButton::clicked, this, &CBorderDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &CBorderDlg::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("幅")), 0, 0);
  grid->addWidget(widthEdit_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("ピクセル")), 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("高さ")), 1, 0);
  grid->addWidget(heightEdit_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("ピクセル")), 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* box = new QVBoxLayout(this);
  box->addLayout(grid);
  box->addLayout(buttons);
}

CBorderDlg::~CBorderDlg() {
  // Destroyed without OK or cancel (the window closing under it): the
  // outline goes back and the camera views stop showing it.
  Finish(false);
}

void CBorderDlg::OnEdited(IntSpinEdit* edit, bool width) {
  if (!editing_ || edit->text().isEmpty()) return;
  const int limit = width ? kLayoutWidth : kLayoutHeight;
  const int stored = width ? layout_.borderWidth() : layout_.borderHeight();
  const std::optional<int> value = edit->Value();
  if (!value || *value < 1 || *value > limit) {
    edit->SetValue(stored);
    return;
  }
  const int oldWidth = layout_.borderWidth();
  const int oldHeight = layout_.borderHeight();
  if (width) {
    layout_.PreviewCourseRange(*value, oldHeight);
  } else {
    layout_.PreviewCourseRange(oldWidth, *value);
  }
  if (layout_.borderWidth() != oldWidth || layout_.borderHeight() != oldHeight) {
    emit courseRangeChanged();
  }
}

void CBorderDlg::accept() {
  Finish(true);
  QDialog::accept();
}

void CBorderDlg::reject() {
  Finish(false);
  QDialog::reject();
}

void CBorderDlg::Finish(bool accepted) {
  if (!editing_) return;
  editing_ = false;
  const int width = layout_.borderWidth();
  const int height = layout_.borderHeight();
  layout_.EndCourseRangeEdit(accepted);
  state_.showCourseRange = false;
  if (layout_.borderWidth() != width || layout_.borderHeight() != height) {
    emit courseRangeChanged();
  }
}

}  // namespace viren
