#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "engine/CDriveSystem.h"

namespace viren {

class CDriveSystem;
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

 private:
  void Mouse(int action, QMouseEvent* event);

  std::atomic<bool> repaintPending_{false};
  std::unique_ptr<CDriveSystem> engine_;
};

}  // namespace viren
