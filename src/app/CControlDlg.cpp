#include "app/CControlDlg.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScreen>
#include <map>

#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "settings/Settings.h"

namespace viren {
namespace {

const QRgb kColorKey = qRgb(0, 0, 255);

QRect ToQRect(const Rect& r) {
  return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

CControlDlg::CControlDlg(DriveCommander& drive, ControllerActions& actions, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint), drive_(drive), panel_(drive, actions) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CControlDlg::~CControlDlg() {
  delete outline_;
}

bool CControlDlg::LoadSkin(const Settings& settings, const std::string& moduleFolder, SkinType type,
                           UiHost& ui, bool turboEnabled, bool fourWheel, QPoint corner) {
  std::map<std::string, QImage> loaded;
  skin_ = LoadControllerSkin(settings, moduleFolder, type, ui,
                             [&loaded](const std::string& path) -> std::optional<PictureSize> {
                               QImage image(QString::fromStdString(path));
                               if (image.isNull()) return std::nullopt;
                               loaded[path] = image.convertToFormat(QImage::Format_RGB32);
                               return PictureSize{image.width(), image.height()};
                             });
  for (size_t k = 0; k < pictures_.size(); ++k) pictures_[k] = loaded[skin_.pictures[k]];
  panel_.SetSkin(type, skin_.rects, skin_.count, turboEnabled && !skin_.turboMissing, fourWheel);
  if (!skin_.complete || pictures_[0].isNull()) return false;

  // The controller's outline, not a rectangle.
  const QImage& background = pictures_[0];
  setFixedSize(background.size());
  setMask(QBitmap::fromImage(background.createMaskFromColor(kColorKey, Qt::MaskInColor)));

  PlaceAt(corner);
  return true;
}

void CControlDlg::PlaceAt(QPoint corner) {
  // At the view's bottom-right corner, or where the user dragged it from
  // there, kept on the screen.
  QRect frame(corner + userOffset_, size());
  if (const QScreen* screen = QGuiApplication::screenAt(corner)) {
    const QRect area = screen->availableGeometry();
    frame.moveRight(std::min(frame.right(), area.right()));
    frame.moveBottom(std::min(frame.bottom(), area.bottom()));
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
  }
  move(frame.topLeft());
}

void CControlDlg::RepaintButton(int k) {
  QMetaObject::invokeMethod(
      this,
      [this, k] {
        if (k >= 0 && k < panel_.buttonCount()) update();
      },
      Qt::QueuedConnection);
}

QImage CControlDlg::Composed() const {
  if (pictures_[0].isNull()) return {};
  QImage out = pictures_[0].copy();
  QPainter p(&out);
  const std::uint32_t state = drive_.DriveState();
  const bool roboQ = panel_.skinType() == SkinType::RoboQ;
  for (int k = 1; k < panel_.buttonCount(); ++k) {
    const QImage& picture = pictures_[static_cast<size_t>(k)];
    if (roboQ && k == 2) {
      // The speed lever: cut its shape out with the mask, then lay in the
      // engaged or released lever.
      const QImage& mask = pictures_[3];
      const QImage& lever = (state & DRIVE_STATE_FORWARD) ? pictures_[2] : pictures_[6];
      if (mask.isNull() || lever.isNull()) continue;
      const QPoint at = ToQRect(panel_.LeverRect()).topLeft();
      p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
      p.drawImage(at, mask);
      p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
      p.drawImage(at, lever);
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
      continue;
    }
    const bool pressed = k == 1 ? panel_.closeHeld() : (state & (1u << (k - 1))) != 0;
    if (picture.isNull() || !pressed) continue;
    p.drawImage(ToQRect(panel_.buttonRect(k)).topLeft(), picture);
  }
  return out;
}

void CControlDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, Composed());
}

void CControlDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (panel_.MouseDown({pos.x(), pos.y()})) {
    moving_ = true;
    dragStart_ = event->globalPosition().toPoint();
    windowStart_ = frameGeometry().topLeft();
    if (!outline_) outline_ = new QRubberBand(QRubberBand::Rectangle);
    outline_->setGeometry(frameGeometry());
    outline_->show();
  }
  UpdateCursor();
  update();
}

void CControlDlg::mouseMoveEvent(QMouseEvent* event) {
  if (moving_) {
    outline_->move(windowStart_ + event->globalPosition().toPoint() - dragStart_);
    return;
  }
  const QPoint pos = event->position().toPoint();
  if (panel_.MouseMove({pos.x(), pos.y()})) update();
  UpdateCursor();
}

void CControlDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (moving_) {
    moving_ = false;
    outline_->hide();
    const QPoint moved = event->globalPosition().toPoint() - dragStart_;
    userOffset_ += moved;
    move(windowStart_ + moved);
  }
  const QPoint pos = event->position().toPoint();
  panel_.MouseUp({pos.x(), pos.y()});
  UpdateCursor();
  update();
}

void CControlDlg::UpdateCursor() {
  switch (panel_.cursor()) {
    case ControllerCursor::Button:
      setCursor(Qt::PointingHandCursor);
      break;
    case ControllerCursor::Move:
      setCursor(Qt::SizeAllCursor);
      break;
    case ControllerCursor::None:
      unsetCursor();
      break;
  }
}

void CControlDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && escape_) {
    escape_();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace viren
