#include "capture/ui/CCameraFormatDlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
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

QString ControlName(std::uint32_t id) {
  return QStringLiteral("control_") +
         QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QString CCameraFormatDlg::SizeText(FrameSize size) {
  return QStringLiteral("%1 x %2").arg(size.width).arg(size.height);
}

CCameraFormatDlg::CCameraFormatDlg(const std::string& cameraName,
                                   const std::vector<FrameSize>& sizes, FrameSize current,
                                   CameraControls* controls, QWidget* parent)
    : QDialog(parent), sizes_(SortedSizes(sizes, current)), controls_(controls) {
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
  auto* sizeColumn = new QVBoxLayout;
  sizeColumn->addWidget(label);
  sizeColumn->addWidget(list_);
  auto* columns = new QHBoxLayout;
  columns->addLayout(sizeColumn);
  if (QWidget* panel = MakeControlsPanel()) columns->addWidget(panel, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(buttons);
}

QWidget* CCameraFormatDlg::MakeControlsPanel() {
  if (!controls_) return nullptr;
  const std::vector<CameraControl> listed = controls_->List();
  if (listed.empty()) return nullptr;

  auto* inner = new QWidget;
  auto* form = new QFormLayout(inner);
  for (const CameraControl& c : listed) {
    const std::uint32_t id = c.id;
    QWidget* field = nullptr;
    switch (c.type) {
      case CameraControl::Type::Integer: {
        auto* row = new QWidget;
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* slider = new QSlider(Qt::Horizontal, row);
        auto* spin = new QSpinBox(row);
        spin->setObjectName(ControlName(id));
        slider->setRange(c.minimum, c.maximum);
        slider->setSingleStep(c.step);
        spin->setRange(c.minimum, c.maximum);
        spin->setSingleStep(c.step);
        // The slider only moves the number; the number sets the camera.
        connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
        connect(spin, &QSpinBox::valueChanged, this, [this, id](int v) { ApplyControl(id, v); });
        rowLayout->addWidget(slider, 1);
        rowLayout->addWidget(spin);
        field = row;
        break;
      }
      case CameraControl::Type::Boolean: {
        auto* box = new QCheckBox;
        box->setObjectName(ControlName(id));
        connect(box, &QCheckBox::toggled, this,
                [this, id](bool on) { ApplyControl(id, on ? 1 : 0); });
        field = box;
        break;
      }
      case CameraControl::Type::Menu: {
        auto* combo = new QComboBox;
        combo->setObjectName(ControlName(id));
        for (const auto& [value, text] : c.menu)
          combo->addItem(QString::fromStdString(text), value);
        connect(combo, &QComboBox::activated, this,
                [this, id, combo](int index) { ApplyControl(id, combo->itemData(index).toInt()); });
        field = combo;
        break;
      }
    }
    form->addRow(QString::fromStdString(c.name), field);
  }
  reset_ = new QPushButton(QString::fromUtf8("既定値に戻す"), inner);
  reset_->setObjectName(QStringLiteral("resetControls"));
  connect(reset_, &QPushButton::clicked, this, [this] {
    ResetControlsToDefaults(*controls_);
    RefreshControls();
  });
  form->addRow(reset_);

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("controls"));
  scroll->setWidgetResizable(true);
  scroll->setWidget(inner);
  RefreshControls();  // the widgets are the dialog's own from here on
  return scroll;
}

QWidget* CCameraFormatDlg::controlWidget(std::uint32_t id) const {
  return findChild<QWidget*>(ControlName(id));
}

void CCameraFormatDlg::ApplyControl(std::uint32_t id, int value) {
  controls_->Set(id, value);
  // A refused value shows what the camera kept; a mode switched shows which
  // values it now governs.
  RefreshControls();
}

void CCameraFormatDlg::RefreshControls() {
  if (!controls_) return;
  for (const CameraControl& c : controls_->List()) {
    QWidget* w = controlWidget(c.id);
    if (!w) continue;
    const QSignalBlocker block(w);
    if (auto* spin = qobject_cast<QSpinBox*>(w)) {
      spin->setValue(c.value);
      // The slider beside it follows without setting the camera again.
      if (auto* slider = spin->parentWidget()->findChild<QSlider*>()) {
        const QSignalBlocker blockSlider(slider);
        slider->setValue(c.value);
        slider->setEnabled(!c.inactive);
      }
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
      box->setChecked(c.value != 0);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      combo->setCurrentIndex(combo->findData(c.value));
    }
    w->setEnabled(!c.inactive);
  }
}

std::optional<FrameSize> CCameraFormatDlg::selectedSize() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  const int row = list_->row(selected.front());
  if (row < 0 || static_cast<std::size_t>(row) >= sizes_.size()) return std::nullopt;
  return sizes_[static_cast<std::size_t>(row)];
}

}  // namespace viren
