#include "capture/ui/CCameraFormatDlg.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace viren {
namespace {

// Offered when the camera cannot say which sizes it takes.
constexpr FrameSize kCommonSizes[] = {{160, 120}, {320, 240}, {640, 480}, {800, 600}, {1280, 720}};

// Smallest picture first; the same size once.
std::vector<FrameSize> SortedSizes(const std::vector<FrameSize>& offered, FrameSize current) {
  std::vector<FrameSize> sizes;
  for (const FrameSize& s : offered)
    if (s.width > 0 && s.height > 0) sizes.push_back(s);
  if (sizes.empty()) {
    sizes.assign(std::begin(kCommonSizes), std::end(kCommonSizes));
    if (current.width > 0 && current.height > 0) sizes.push_back(current);
  }
  auto key = [](const FrameSize& s) {
    return std::make_pair(static_cast<long long>(s.width) * s.height, s.width);
  };
  std::sort(sizes.begin(), sizes.end(),
            [&](const FrameSize& a, const FrameSize& b) { return key(a) < key(b); });
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  return sizes;
}

}  // namespace

QString CCameraFormatDlg::SizeText(FrameSize size) {
  return QStringLiteral("%1 x %2").arg(size.width).arg(size.height);
}

CCameraFormatDlg::CCameraFormatDlg(const std::string& cameraName,
                                   const std::vector<FrameSize>& sizes, FrameSize current,
                                   QWidget* parent)
    : QDialog(parent), sizes_(SortedSizes(sizes, current)) {
  setModal(true);
  setWindowTitle(QString::fromStdString(cameraName));

  auto* label = new QLabel(QString::fromUtf8("画面サイズ"), this);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("sizeList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  int preselected = 0;
  for (std::size_t i = 0; i < sizes_.size(); ++i) {
    list_->addItem(SizeText(sizes_[i]));
    if (sizes_[i] == current) preselected = static_cast<int>(i);
  }
  list_->setCurrentRow(preselected);
  label->setBuddy(list_);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QString::fromUtf8("キャンセル"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(list_, &QListWidget::itemSelectionChanged, this,
          [this] { ok_->setEnabled(selectedSize().has_value()); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(list_);
  layout->addLayout(buttons);
}

std::optional<FrameSize> CCameraFormatDlg::selectedSize() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  const int row = list_->row(selected.front());
  if (row < 0 || static_cast<std::size_t>(row) >= sizes_.size()) return std::nullopt;
  return sizes_[static_cast<std::size_t>(row)];
}

}  // namespace viren
