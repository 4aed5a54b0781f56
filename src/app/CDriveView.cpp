#include "app/CDriveView.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "app/ExternalWindow.h"
#include "editor/ProgramEditor.h"

#include "engine/CDriveSystem.h"
#include "views/PictureExchange.h"

namespace viren {

CDriveView::CDriveView(UiHost& ui, std::string moduleFolder, std::string commandLine,
                       QWidget* parent, EngineOptions options)
    : QWidget(parent),
      engine_(std::make_unique<CDriveSystem>(ui, std::move(moduleFolder), std::move(commandLine),
                                             std::move(options))) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  setMouseTracking(true);
  // The arrow keys move the program editor's selection.
  setFocusPolicy(Qt::StrongFocus);
  setFixedSize(engine_->state().clientWidth, engine_->state().clientHeight);
  // Each picture the capture or simulation publishes asks for one repaint;
  // pictures that come faster than the window paints are simply skipped.
  engine_->pictures().SetPublishedCallback([this] {
    if (repaintPending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          repaintPending_ = false;
          ShowPicture();
        },
        Qt::QueuedConnection);
  });
}

CDriveView::~CDriveView() {
  engine_->Shutdown();
  external_.reset();
  engine_->state().externalDisplay = false;
}

void CDriveView::ShowPicture() {
  if (!DrawExternal()) update();
}

bool CDriveView::DrawExternal() {
  if (!external_) return false;
  const int mode = engine_->state().viewMode;
  if (mode == VIEW_LAYOUT || mode == VIEW_PROGRAM) return false;
  PictureExchange& pictures = engine_->pictures();
  if (pictures.HasPicture() && !external_->Draw(pictures.Front())) {
    // Its owner destroyed it.
    DetachExternalWindow();
    return false;
  }
  return true;
}

void CDriveView::AttachExternalWindow(std::shared_ptr<ExternalWindow> window) {
  external_ = std::move(window);
  engine_->state().externalDisplay = external_ != nullptr;
  ShowPicture();
}

void CDriveView::DetachExternalWindow() {
  if (!external_) return;
  external_.reset();
  engine_->state().externalDisplay = false;
  QWidget* frame = window();
  if (frame->isMinimized() || !frame->isVisible()) frame->showNormal();
  update();
}

QSize CDriveView::sizeHint() const {
  return {engine_->state().clientWidth, engine_->state().clientHeight};
}

bool CDriveView::OnCommand(int commandId) {
  const bool handled = engine_->OnCommand(commandId);
  if (handled) update();
  return handled;
}

void CDriveView::paintEvent(QPaintEvent*) {
  engine_->Start();
  QPainter painter(this);
  if (engine_->state().viewMode == VIEW_PROGRAM) {
    painter.drawImage(0, 0, engine_->editor().Paint());
    return;
  }
  PictureExchange& pictures = engine_->pictures();
  if (pictures.HasPicture()) {
    const QImage& picture = pictures.Front();
    painter.drawImage(0, 0, picture);
    if (picture.width() >= width() && picture.height() >= height()) return;
  }
  painter.fillRect(rect(), palette().color(QPalette::Window));
  if (pictures.HasPicture()) painter.drawImage(0, 0, pictures.Front());
}

void CDriveView::Mouse(int action, QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const CDriveSystem::ViewMouseResult result =
      engine_->OnViewMouse(static_cast<CDriveSystem::ViewMouse>(action), {p.x(), p.y()});
  if (result.viewMenu) emit viewMenuRequested(event->globalPosition().toPoint());
  if (!result.programMenu.empty()) {
    QMenu menu(this);
    for (const ContextMenuItem& item : result.programMenu) {
      QAction* a = menu.addAction(QString::fromStdString(item.text));
      a->setEnabled(item.enabled);
      a->setData(item.id);
    }
    if (QAction* chosen = menu.exec(event->globalPosition().toPoint()))
      emit commandRequested(chosen->data().toInt());
  }
  update();
  setCursor(engine_->CheeseHovered() ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

void CDriveView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    Mouse(static_cast<int>(CDriveSystem::ViewMouse::LeftDown), event);
  else if (event->button() == Qt::RightButton)
    Mouse(static_cast<int>(CDriveSystem::ViewMouse::RightDown), event);
}

void CDriveView::mouseMoveEvent(QMouseEvent* event) {
  Mouse(static_cast<int>(CDriveSystem::ViewMouse::Move), event);
}

void CDriveView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    Mouse(static_cast<int>(CDriveSystem::ViewMouse::LeftUp), event);
}

void CDriveView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    Mouse(static_cast<int>(CDriveSystem::ViewMouse::DoubleClick), event);
}

void CDriveView::keyPressEvent(QKeyEvent* event) {
  int dx = 0;
  int dy = 0;
  switch (event->key()) {
    case Qt::Key_Left:
      dx = -1;
      break;
    case Qt::Key_Right:
      dx = 1;
      break;
    case Qt::Key_Up:
      dy = -1;
      break;
    case Qt::Key_Down:
      dy = 1;
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  if (event->modifiers() == Qt::NoModifier && engine_->editor().SelectByKey(dx, dy)) {
    update();
    emit selectionMoved();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace viren
