#include "sound/ui/CSoundDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "sound/SoundSystem.h"
#include "sound/ui/SoundFileChooser.h"

namespace viren {

namespace {
QPushButton* MakeButton(const char* text, int id, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setObjectName(QStringLiteral("button%1").arg(id));
  b->setAutoDefault(false);
  return b;
}
}  // namespace

CSoundDlg::CSoundDlg(SoundSystem& sound, Settings& settings, SoundFileChooser& chooser,
                     QWidget* parent)
    : QDialog(parent), editor_(sound, settings), chooser_(chooser) {
  setWindowTitle(QString::fromUtf8("サウンドファイルの設定"));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("list%1").arg(kList));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  add_ = MakeButton("追加", kAdd, this);
  delete_ = MakeButton("削除", kDelete, this);
  moveUp_ = MakeButton("上に移動", kMoveUp, this);
  moveDown_ = MakeButton("下に移動", kMoveDown, this);
  play_ = MakeButton("テスト再生", kTestPlay, this);
  stop_ = MakeButton("停止", kTestStop, this);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  cancel_ = new QPushButton(QString::fromUtf8("キャンセル"), this);
  cancel_->setAutoDefault(false);

  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {add_, delete_, moveUp_, moveDown_, play_, stop_}) buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  result_ = new QLabel(this);
  result_->setObjectName(QStringLiteral("result"));
  auto* left = new QVBoxLayout;
  left->addWidget(list_, 1);
  left->addWidget(result_);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);
  resize(420, 300);

  connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateSoundButtons(); });
  connect(add_, &QPushButton::clicked, this, [this] { AddSoundFile(); });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteSoundFile(); });
  connect(moveUp_, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
  connect(moveDown_, &QPushButton::clicked, this, [this] { MoveSelected(+1); });
  connect(play_, &QPushButton::clicked, this, [this] {
    const int row = list_->currentRow();
    if (editor_.TestPlay(row))
      result_->setText(QString::fromUtf8("%1番を再生しています").arg(row + 1));
    else
      result_->setText(QString::fromUtf8("%1番を再生できませんでした").arg(row + 1));
  });
  connect(stop_, &QPushButton::clicked, this, [this] {
    editor_.TestStop();
    result_->setText(QString::fromUtf8("停止しました"));
  });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  // OpenSoundList: the working copy, the lines, and every button but "add" off
  // until a line is chosen.
  editor_.Open();
  FillSoundList();
}

QPushButton* CSoundDlg::button(ControlId id) const {
  switch (id) {
    case kAdd:
      return add_;
    case kDelete:
      return delete_;
    case kMoveUp:
      return moveUp_;
    case kMoveDown:
      return moveDown_;
    case kTestPlay:
      return play_;
    case kTestStop:
      return stop_;
    default:
      return nullptr;
  }
}

void CSoundDlg::FillSoundList(int select) {
  {
    const QSignalBlocker block(list_);
    list_->clear();
    for (const std::string& line : editor_.Lines()) list_->addItem(QString::fromStdString(line));
    list_->setCurrentRow(select);
  }
  UpdateSoundButtons();
}

void CSoundDlg::UpdateSoundButtons() {
  const SoundListEditor::Buttons b = editor_.ButtonsFor(list_->currentRow());
  add_->setEnabled(b.add);
  delete_->setEnabled(b.remove);
  moveUp_->setEnabled(b.moveUp);
  moveDown_->setEnabled(b.moveDown);
  play_->setEnabled(b.play);
  stop_->setEnabled(b.stop);
}

void CSoundDlg::AddSoundFile() {
  const std::string path = chooser_.ChooseSoundFile(this);
  if (path.empty()) return;
  editor_.Add(path);
  FillSoundList();
}

void CSoundDlg::DeleteSoundFile() {
  editor_.Delete(list_->currentRow());
  FillSoundList();
}

void CSoundDlg::MoveSelected(int direction) {
  FillSoundList(editor_.Move(list_->currentRow(), direction));
}

void CSoundDlg::done(int result) {
  editor_.Close(result == QDialog::Accepted);
  QDialog::done(result);
}

}  // namespace viren
