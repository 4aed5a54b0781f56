#include "ball/ui/CBallDlg.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace viren {

namespace {

struct SizeRadio {
  int id;
  int size;
  const char* text;
};
constexpr SizeRadio kSizeRadios[4] = {
    {CBallDlg::kSize16, 16, "16x16ﾄﾞｯﾄ"},
    {CBallDlg::kSize32, 32, "32x32ﾄﾞｯﾄ"},
    {CBallDlg::kSize64, 64, "64x64ﾄﾞｯﾄ"},
    {CBallDlg::kSize128, 128, "128x128ﾄﾞｯﾄ"},
};

QPushButton* MakeButton(const char* text, int id) {
  auto* b = new QPushButton(QString::fromUtf8(text));
  b->setObjectName(QStringLiteral("button%1").arg(id));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

CBallDlg::CBallDlg(BallSystem& ball, PatternFileChooser chooser, QWidget* parent)
    : QDialog(parent), ball_(ball), chooser_(std::move(chooser)) {
  if (!chooser_) chooser_ = QtPatternFileChooser(this);
  setModal(false);
  setWindowTitle(QString::fromUtf8("ボール学習ダイアログ"));

  auto* layout = new QVBoxLayout(this);
  auto* instruction =
      new QLabel(QString::fromUtf8("ボールの中心をクリックしてボール認識枠を移動してください。"));
  instruction->setWordWrap(true);
  layout->addWidget(instruction);

  auto* sizeGroup = new QGroupBox(QString::fromUtf8("画像サイズ"));
  auto* sizeLayout = new QGridLayout(sizeGroup);
  for (int n = 0; n < 4; ++n) {
    radios_[n] = new QRadioButton(QString::fromUtf8(kSizeRadios[n].text));
    radios_[n]->setObjectName(QStringLiteral("radio%1").arg(kSizeRadios[n].id));
    sizeLayout->addWidget(radios_[n], n / 2, n % 2);
  }
  layout->addWidget(sizeGroup);

  auto addSpin = [layout](const char* caption, const char* unit, int id, int low, int high) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QString::fromUtf8(caption)));
    auto* spin = new QSpinBox;
    spin->setObjectName(QStringLiteral("edit%1").arg(id));
    spin->setRange(low, high);
    row->addWidget(spin);
    row->addWidget(new QLabel(QString::fromUtf8(unit)));
    layout->addLayout(row);
    return spin;
  };
  threshold_ = addSpin("認識感度", "%", kThreshold, 1, 100);
  interval_ = addSpin("認識間隔", "ﾌﾚｰﾑ", kInterval, 1, 9999);

  result_ = new QLabel;
  result_->setObjectName(QStringLiteral("result"));
  result_->setWordWrap(true);
  layout->addWidget(result_);

  auto* buttons = new QHBoxLayout;
  learn_ = MakeButton("学習", kLearn);
  test_ = MakeButton("認識テスト", kTest);
  ok_ = MakeButton("OK", kOk);
  cancel_ = MakeButton("キャンセル", kCancel);
  buttons->addWidget(learn_);
  buttons->addWidget(test_);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  // The dialog's start.
  ball_.OpenBallDialog();
  int checked = 2;  // 64, also for any other size
  for (int n = 0; n < 4; ++n)
    if (kSizeRadios[n].size == ball_.learnSize()) checked = n;
  radios_[checked]->setChecked(true);
  threshold_->setValue(ball_.rejectThreshold());
  interval_->setValue(ball_.pmFrame());
  UpdateButtons();

  for (int n = 0; n < 4; ++n) {
    const int size = kSizeRadios[n].size;
    connect(radios_[n], &QRadioButton::toggled, this, [this, size](bool on) {
      if (on) ball_.SetLearnSize(size);
    });
  }
  connect(learn_, &QPushButton::clicked, this, [this] {
    if (ball_.LearnBall()) {
      const Rect r = ball_.BallRect();
      result_->setText(QString::fromUtf8("学習しました: %1×%1ドット、位置(%2, %3)")
                           .arg(ball_.learnedSize())
                           .arg((r.left + r.right) / 2)
                           .arg((r.top + r.bottom) / 2));
    } else {
      result_->setText(QString::fromUtf8(
          "学習できませんでした: 認識枠が画像からはみ出しているか、画像がありません"));
    }
    UpdateButtons();
  });
  connect(test_, &QPushButton::clicked, this, [this] {
    if (ball_.TestBall(threshold_->value())) {
      const Rect r = ball_.BallRect();
      result_->setText(QString::fromUtf8("認識しました: 位置(%1, %2)")
                           .arg((r.left + r.right) / 2)
                           .arg((r.top + r.bottom) / 2));
    } else {
      result_->setText(QString::fromUtf8("認識できませんでした"));
    }
  });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  ball_.SetLearningListener([this] { UpdateButtons(); });
}

CBallDlg::~CBallDlg() {
  ball_.SetLearningListener(nullptr);
}

QRadioButton* CBallDlg::radio(int id) const {
  for (int n = 0; n < 4; ++n)
    if (kSizeRadios[n].id == id) return radios_[n];
  return nullptr;
}

QPushButton* CBallDlg::button(int id) const {
  switch (id) {
    case kLearn:
      return learn_;
    case kTest:
      return test_;
    case kOk:
      return ok_;
    case kCancel:
      return cancel_;
    default:
      return nullptr;
  }
}

void CBallDlg::SelectBallPoint(Point point) {
  ball_.SelectBallPoint(point);
  UpdateButtons();
}

void CBallDlg::UpdateButtons() {
  learn_->setEnabled(ball_.pointChosen());
  test_->setEnabled(ball_.learned());
  ok_->setEnabled(ball_.learned());
}

void CBallDlg::done(int result) {
  if (ball_.ballLearning())
    ball_.CloseBallDialog(result == QDialog::Accepted, interval_->value(), threshold_->value(),
                          chooser_);
  QDialog::done(result);
}

PatternFileChooser QtPatternFileChooser(QWidget* parent) {
  return [parent](const std::string& current) -> std::optional<std::string> {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setNameFilter(QString::fromUtf8("ﾋﾞｯﾄﾏｯﾌﾟﾌｧｲﾙﾌｧｲﾙ (*.bmp)"));
    dialog.selectFile(QString::fromStdString(current));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
  };
}

}  // namespace viren
