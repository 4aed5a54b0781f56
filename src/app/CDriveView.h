#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "editor/ProgramViewport.h"
#include "engine/CDriveSystem.h"

class QScrollBar;

namespace viren {

class CDriveSystem;
class ExternalWindow;
class UiHost;

// The main view. It owns the engine; its first paint starts it, and its
// destruction shuts it down.
class CDriveView : public QWidget {
  Q_OBJECT
 public:
  CDriveView(UiHost& ui, std::string moduleFolder, std::string commandLine,
             QWidget* parent = nullptr, EngineOptions options = {});
  ~CDriveView() override;

  CDriveSystem& engine() { return *engine_; }
  // True when the view handled the command.
  bool OnCommand(int commandId);

  QSize sizeHint() const override;

  // The program view: the part of the flowchart shown, zoomed and scrolled.
  // Scroll bars stand inside the view's right and bottom edges while the
  // flowchart does not fit.
  const ProgramViewport& programViewport() const { return viewport_; }
  QScrollBar* horizontalScrollBar() const { return hbar_; }
  QScrollBar* verticalScrollBar() const { return vbar_; }
  // Scrolls so that the command's box is in view (the running command while
  // a program runs, the selection after an edit or a key).
  void ShowCommand(int index);
  // While a program runs: scrolls to the running command when it changed.
  void FollowRunningCommand(int index);

  // Another program's window takes the camera picture instead of this view
  // (the layout stays here), until it is detached or vanishes; then the main
  // window is shown normally again. Both keep the engine's externalDisplay.
  void AttachExternalWindow(std::shared_ptr<ExternalWindow> window);
  void DetachExternalWindow();
  bool externalWindowAttached() const { return external_ != nullptr; }

 signals:
  // The right button asks for the view menu at this screen position.
  void viewMenuRequested(QPoint globalPosition);
  // A command chosen in the program editor's context menu.
  void commandRequested(int commandId);
  // The arrow keys moved the program editor's selection.
  void selectionMoved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Mouse(int action, QMouseEvent* event);
  // A new picture is ready: into the external window when it takes it.
  void ShowPicture();
  bool DrawExternal();
  // Zoom and scroll commands of the program view; false for other commands.
  bool OnViewportCommand(int commandId);
  // Copy, cut, paste and duplicate of commands through the clipboard.
  bool OnClipboardCommand(int commandId);
  // The scroll bars follow the canvas, the zoom and the view's size.
  void SyncScrollBars();
  bool ProgramShown() const;

  std::atomic<bool> repaintPending_{false};
  std::shared_ptr<ExternalWindow> external_;
  ProgramViewport viewport_;
  QScrollBar* hbar_ = nullptr;
  QScrollBar* vbar_ = nullptr;
  int shownCommand_ = -1;  // the last command ShowCommand scrolled to
  std::unique_ptr<CDriveSystem> engine_;
};

}  // namespace viren
