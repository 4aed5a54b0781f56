#include "app/CDriveView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>

#include "app/ExternalWindow.h"
#include "core/CommandIds.h"
#include "editor/ProgramEditor.h"
#include "editor/ProgramLayout.h"
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
  // The program view's scroll bars; hidden while the flowchart fits.
  hbar_ = new QScrollBar(Qt::Horizontal, this);
  vbar_ = new QScrollBar(Qt::Vertical, this);
  for (QScrollBar* bar : {hbar_, vbar_}) {
    bar->hide();
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setCursor(Qt::ArrowCursor);
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      viewport_.ScrollTo(hbar_->value(), vbar_->value());
      update();
    });
  }
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
  if (OnViewportCommand(commandId) || OnClipboardCommand(commandId)) return true;
  const bool handled = engine_->OnCommand(commandId);
  if (handled) {
    // After an edit the selection is in view (a new command may stand
    // below the part shown).
    SyncScrollBars();
    if (ProgramShown()) ShowCommand(engine_->program().selection);
    update();
  }
  return handled;
}

bool CDriveView::ProgramShown() const {
  return engine_->state().viewMode == VIEW_PROGRAM;
}

bool CDriveView::OnClipboardCommand(int commandId) {
  ProgramEditor& editor = engine_->editor();
  switch (commandId) {
    case ID_EDIT_COPY:
    case ID_CUT_COMMANDS: {
      // Plain text, so that another window (or any program) can take it.
      const std::string text = editor.CopySelection();
      if (text.empty()) return true;
      QGuiApplication::clipboard()->setText(QString::fromStdString(text));
      if (commandId == ID_CUT_COMMANDS) editor.CutSelection();
      break;
    }
    case ID_EDIT_PASTE:
      editor.PasteCommands(QGuiApplication::clipboard()->text().toStdString());
      break;
    case ID_DUPLICATE:
      editor.DuplicateSelection();
      break;
    default:
      return false;
  }
  SyncScrollBars();
  ShowCommand(engine_->program().selection);
  update();
  return true;
}

bool CDriveView::OnViewportCommand(int commandId) {
  if (commandId != ID_ZOOM_IN && commandId != ID_ZOOM_OUT && commandId != ID_ZOOM_FIT) return false;
  if (!ProgramShown()) return true;
  SyncScrollBars();
  const Point centre{viewport_.viewWidth() / 2, viewport_.viewHeight() / 2};
  if (commandId == ID_ZOOM_FIT)
    viewport_.Fit();
  else
    viewport_.ZoomStep(commandId == ID_ZOOM_IN ? 1 : -1, centre);
  SyncScrollBars();
  update();
  return true;
}

void CDriveView::SyncScrollBars() {
  if (!ProgramShown()) {
    hbar_->hide();
    vbar_->hide();
    return;
  }
  const CanvasSize used = engine_->editor().flowchartExtent();
  viewport_.SetContent(used.width, used.height);
  // A bar takes room from the other direction: decide both together.
  const int thickness = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  bool horizontal = false;
  bool vertical = false;
  for (int pass = 0; pass < 2; ++pass) {
    viewport_.SetView(width() - (vertical ? thickness : 0),
                      height() - (horizontal ? thickness : 0));
    horizontal = viewport_.scaledWidth() > viewport_.viewWidth();
    vertical = viewport_.scaledHeight() > viewport_.viewHeight();
  }
  viewport_.SetView(width() - (vertical ? thickness : 0), height() - (horizontal ? thickness : 0));
  const QSignalBlocker blockH(hbar_);
  const QSignalBlocker blockV(vbar_);
  hbar_->setGeometry(0, height() - thickness, viewport_.viewWidth(), thickness);
  vbar_->setGeometry(width() - thickness, 0, thickness, viewport_.viewHeight());
  hbar_->setRange(0, viewport_.maxScrollX());
  hbar_->setPageStep(viewport_.viewWidth());
  hbar_->setSingleStep(kBoxPitch / 2);
  hbar_->setValue(viewport_.scrollX());
  vbar_->setRange(0, viewport_.maxScrollY());
  vbar_->setPageStep(viewport_.viewHeight());
  vbar_->setSingleStep(kBoxPitch / 2);
  vbar_->setValue(viewport_.scrollY());
  hbar_->setVisible(horizontal);
  vbar_->setVisible(vertical);
}

void CDriveView::ShowCommand(int index) {
  if (!ProgramShown()) return;
  SyncScrollBars();
  shownCommand_ = index;
  if (!engine_->program().IsUsed(index)) return;
  const EventRecord r = engine_->program().Record(index);
  viewport_.EnsureVisible({r.x, r.y, r.x + kCommandBoxSize, r.y + kCommandBoxSize}, 8);
  SyncScrollBars();
  update();
}

void CDriveView::FollowRunningCommand(int index) {
  if (index != shownCommand_) ShowCommand(index);
}

void CDriveView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SyncScrollBars();
}

void CDriveView::wheelEvent(QWheelEvent* event) {
  if (!ProgramShown()) {
    QWidget::wheelEvent(event);
    return;
  }
  const QPoint delta = event->angleDelta();
  const QPoint at = event->position().toPoint();
  SyncScrollBars();
  if (event->modifiers() & Qt::ControlModifier) {
    if (delta.y() != 0) viewport_.ZoomStep(delta.y() > 0 ? 1 : -1, {at.x(), at.y()});
  } else {
    // One notch scrolls by one row of boxes; Shift turns a plain wheel sideways.
    int dx = -delta.x() * kBoxPitch / 120;
    int dy = -delta.y() * kBoxPitch / 120;
    if (event->modifiers() & Qt::ShiftModifier) std::swap(dx, dy);
    viewport_.ScrollBy(dx, dy);
  }
  SyncScrollBars();
  update();
  event->accept();
}

void CDriveView::paintEvent(QPaintEvent*) {
  engine_->Start();
  QPainter painter(this);
  if (engine_->state().viewMode == VIEW_PROGRAM) {
    // Only the part of the canvas the window shows, with a pixel around it
    // for the smoothing of a zoomed picture.
    const double zoom = viewport_.zoom();
    const int left = static_cast<int>(viewport_.scrollX() / zoom) - 1;
    const int top = static_cast<int>(viewport_.scrollY() / zoom) - 1;
    const Rect area{left, top, left + static_cast<int>(width() / zoom) + 3,
                    top + static_cast<int>(height() / zoom) + 3};
    const QImage canvas = engine_->editor().Paint(area);
    // The flowchart grew or shrank with an edit: the scroll bars follow
    // after this paint.
    const CanvasSize used = engine_->editor().flowchartExtent();
    if (used.width != viewport_.contentWidth() || used.height != viewport_.contentHeight())
      QTimer::singleShot(0, this, [this] { SyncScrollBars(); });
    painter.fillRect(rect(), Qt::white);
    painter.translate(-viewport_.scrollX(), -viewport_.scrollY());
    painter.scale(viewport_.zoom(), viewport_.zoom());
    if (viewport_.zoom() != 1.0) painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(std::max(0, left), std::max(0, top), canvas);
    return;
  }
  const int mode = engine_->state().viewMode;
  if ((mode == VIEW_LIVE || mode == VIEW_DIFFERENCE) && !engine_->state().captureRunning &&
      !engine_->state().simulating) {
    // Not the last picture of a capture that has ended: say there is none.
    painter.fillRect(rect(), Qt::black);
    painter.setPen(Qt::white);
    painter.drawText(
        rect(), Qt::AlignCenter | Qt::TextWordWrap,
        QStringLiteral(
            "表示する画像がありません。\nカメラを選ぶか、ビデオファイルを開いてください。"));
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
  Point at{p.x(), p.y()};
  // The editor counts in canvas pixels.
  if (ProgramShown()) at = viewport_.ToCanvas(at);
  // Shift with a click extends the selection along its chain.
  if (ProgramShown() && (event->modifiers() & Qt::ShiftModifier) &&
      static_cast<CDriveSystem::ViewMouse>(action) == CDriveSystem::ViewMouse::LeftUp) {
    int count = 0;
    const ProgramRecords records = engine_->program().Snapshot(&count);
    if (engine_->editor().ExtendSelection(HitCommand(records.data(), count, at))) {
      update();
      emit selectionMoved();
      return;
    }
  }
  const CDriveSystem::ViewMouseResult result =
      engine_->OnViewMouse(static_cast<CDriveSystem::ViewMouse>(action), at);
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
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      if (!ProgramShown()) break;
      // Page by page through the flowchart, or to its top or bottom.
      SyncScrollBars();
      if (event->key() == Qt::Key_Home)
        viewport_.ScrollTo(0, 0);
      else if (event->key() == Qt::Key_End)
        viewport_.ScrollTo(0, viewport_.maxScrollY());
      else
        viewport_.ScrollBy(0, (event->key() == Qt::Key_PageUp ? -1 : 1) *
                                  std::max(1, viewport_.viewHeight() - kBoxPitch));
      SyncScrollBars();
      update();
      return;
    default:
      break;
  }
  if (dx == 0 && dy == 0) {
    QWidget::keyPressEvent(event);
    return;
  }
  if (event->modifiers() == Qt::ShiftModifier && dx != 0 &&
      engine_->editor().ExtendSelectionByKey(dx)) {
    update();
    emit selectionMoved();
    return;
  }
  if (event->modifiers() == Qt::NoModifier && engine_->editor().SelectByKey(dx, dy)) {
    ShowCommand(engine_->program().selection);
    update();
    emit selectionMoved();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace viren
