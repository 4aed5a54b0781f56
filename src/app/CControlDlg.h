#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "controller/ControllerPanel.h"
#include "controller/ControllerSkin.h"

class QRubberBand;

namespace viren {

class Settings;
class UiHost;

// The on-screen remote controller: a borderless window shaped like the
// controller picture (pure blue is see-through), whose buttons light while
// their drive state bit is set. Window thread, except RepaintButton.
class CControlDlg : public QWidget {
  Q_OBJECT
 public:
  CControlDlg(DriveCommander& drive, ControllerActions& actions, QWidget* owner);
  ~CControlDlg() override;

  // Loads the skin of the mode and places the window at `corner` (the main
  // view's bottom-right corner on screen). False when a picture was missing.
  bool LoadSkin(const Settings& settings, const std::string& moduleFolder, SkinType type,
                UiHost& ui, bool turboEnabled, bool fourWheel, QPoint corner);
  // Moves the window to `corner` (the view's bottom-right corner on screen),
  // keeping any offset the user gave it by dragging.
  void PlaceAt(QPoint corner);
  // Turbo off because the skin has no turbo picture.
  bool turboMissing() const { return skin_.turboMissing; }
  SkinType skinType() const { return skin_.type; }

  // Shows button k pressed or released as the drive state says. Any thread.
  void RepaintButton(int k);

  ControllerPanel& panel() { return panel_; }
  // Called on Esc: the emergency stop.
  void SetEscapeAction(std::function<void()> action) { escape_ = std::move(action); }
  // The picture as painted now (tests compare it).
  QImage Composed() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void UpdateCursor();

  DriveCommander& drive_;
  ControllerPanel panel_;
  ControllerSkin skin_;
  std::array<QImage, ControllerPanel::kMaxButtons> pictures_;
  QRubberBand* outline_ = nullptr;
  QPoint dragStart_;
  QPoint windowStart_;
  QPoint userOffset_;
  bool moving_ = false;
  std::function<void()> escape_;
};

}  // namespace viren
